// "?:" groups to the left: (a ? 1 : b) ? 2 : 3.
bool a, b;
int {0:3} r;
r == (a ? 1 : b ? 2 : 3);
