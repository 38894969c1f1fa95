// Maximise over a model with an unsatisfiable corner.
int {-5:5} x;
int {0:4} y;
maximize(x * y - y);
x <= 3 - y;
x != y;
