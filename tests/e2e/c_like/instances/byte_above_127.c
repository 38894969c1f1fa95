int {0:3} x;
x é 1;
