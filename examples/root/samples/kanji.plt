WINDOW(1,0.0,0.0,8.0,10.0)
FONT(normal)
DRAWSTRING(1.0,9.0,"日本語の作図")
DRAWSTRING(1.0,8.5,"QX5 Kanji plot")
