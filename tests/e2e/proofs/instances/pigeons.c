// Five pigeons, four holes.
int {1:4} a, b, c, d, e;
a != b;
a != c;
a != d;
a != e;
b != c;
b != d;
b != e;
c != d;
c != e;
d != e;
