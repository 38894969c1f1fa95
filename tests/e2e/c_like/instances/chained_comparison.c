int {0:3} x, y, z;
x < y == z;
