int {} x;
int {0:3} y;
y >= 0;
