int {0:3} x, y;
bool x;
