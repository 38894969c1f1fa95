int {6:2:1} x;
