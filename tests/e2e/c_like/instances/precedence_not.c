// "!" binds looser than comparisons and arithmetic: !((x + y) == z).
bool x, y;
int {0:2} z;
! x + y == z;
