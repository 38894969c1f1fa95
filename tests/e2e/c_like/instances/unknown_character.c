int {0:3} x;
x # 1;
