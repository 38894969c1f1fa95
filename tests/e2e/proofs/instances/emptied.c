// The domain is emptied while the model is built.
int {1:3} x;
x > 5;
