/* Minimise a weighted distance; the comment holds stars: ** * */
int {0:9} x, y;
bool far;
minimize(abs(x - 7) * 2 + max(y, 3) - far);
x + y >= 9;
far == (x - y > 4);
