// max, min, abs and pow.
int {-4:4} x, y;
int {1:2} e;
max(x, y) - min(x, y) == abs(x - y);
pow(x, e) + abs(y) <= 5;
pow(y, 2) > 1;
