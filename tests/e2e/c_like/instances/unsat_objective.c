bool x, y;
minimize(x + y);
x && y;
! x;
