// x * y == 12 and x + y == 6 have no solution in 1..6 (x + y = 7 or 8 do).
int {1:6} x, y;
x * y == 12;
x + y == 6;
