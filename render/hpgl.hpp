// The vector page as HP-GL: its strokes in pen and travel order, written to the device in
// small blocks through the guarded writes, with what a cut-off page leaves to put right.
#pragma once
#include <string>
#include <vector>

#include "render/strokes.hpp"

namespace qx5 {

// Bytes gathered before a block is written (one WRITE, one alarm each). A pen plotter takes
// bytes only as fast as it draws them, so a block is what it draws well within the time-out.
// A test may lower it; values outside 1 .. kVectorBlockMax count as kVectorBlockMax.
constexpr int kVectorBlockMax = 512;
extern int VectorBlock;

// The HP-GL of strokes drawn in `order`: HP-GL/2 when hpgl2, else the HP-GL of the 7475A
// class. Every command ends with ";" (a label with ETX); the pen is put away at the end.
std::vector<std::string> HpglCommands(const std::vector<Stroke>& strokes,
                                      const std::vector<size_t>& order, bool hpgl2);

// The strokes a vector page holds before they are sent: a page of any size is drawn in
// bounded memory and time, in parts, the plotter drawing one while the next is made.
inline constexpr size_t kStrokesPerPart = 20000;

// Sends the open vector page's strokes as a part of the page: in pen and travel order, going
// on from where the last part left the pen. After a failed write a page's strokes are dropped.
void SendVectorPart();
// Sends the rest of the page (as SendVectorPart, the pen put away at the end) and prints the
// page's line (strokes, pen changes, pen-down and pen-up distance). 0 when every byte of the
// page went out, 1 when a write failed: then RecoverVectorPage has the rest of the command in
// flight to send.
int SendVectorPage();
// Ends a page that is not sent (its plot failed): when parts of it went out, the pen is put
// away by RecoverVectorPage.
void AbandonVectorPage();

// After a vector page was cut off: the rest of the command the plotter got part of, then the
// pen lifted and put away. 0 when sent or nothing was due, 1 when the write failed (it stays
// due).
int RecoverVectorPage();
// Forgets what a cut-off page left to send: the device that was cut off is gone (a network
// printer drops the page with its connection).
void ForgetVectorPage();

}  // namespace qx5
