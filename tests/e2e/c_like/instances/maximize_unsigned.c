// The objective of an unsigned variable bounded by a constraint.
unsigned x;
unsigned y;
maximize(x + y);
x + 3 * y <= 100;
x <= 40;
