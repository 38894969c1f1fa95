int {0:3} x;
x >= 0;
bool y;
