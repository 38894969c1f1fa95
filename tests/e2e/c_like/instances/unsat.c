int {1:3} x, y, z;
x < y;
y < z;
z < x + 2;
