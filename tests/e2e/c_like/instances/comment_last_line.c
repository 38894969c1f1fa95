int {0:3} x;
// a last comment without a line end