unsigned {1} x;
