// As an operand "!" still spans what follows: x == !(y == z), x + !(y < z).
bool x, y;
int {0:2} z, w;
x == ! y == z;
w == x + ! y < z;
