int {0:3} x;
f();
