// Every kind of declaration: bool, unsigned (with or without int), int over
// all values, and int over a set literal with values, ranges and
// from:step:to parts written in decimal, hexadecimal and octal.
bool b, c;
unsigned u;
unsigned int v;
int i;
int {-3, 0x2, 010:011, 20:5:30, -10:3:-4} w;
u + v == 7;
u > v + 3;
i == w * 2 + b;
w < 0;
i < -9;
b != c;
