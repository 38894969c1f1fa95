// Left-associative "-", "/", "%" and "*"; prefix "-" binds tightest;
// "&&" binds tighter than "||", "!" tighter than "&&".
int {-3:3} x;
int {1:3} y, z;
bool p;
x - y - z + 12 / y / z * 2 == x % y * z - -x || ! p && - x - y > 0;
