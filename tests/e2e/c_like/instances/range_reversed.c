// A range from:to with from above to.
int {5:1} x;
