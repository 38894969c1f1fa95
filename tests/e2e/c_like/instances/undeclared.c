int {0:3} x;
x == total;
