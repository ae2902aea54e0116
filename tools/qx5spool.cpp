// SCAFFOLD: implementation pending.
int main() { return 1; }
