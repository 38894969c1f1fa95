% Products and quotients: x * y = z with a few side conditions.
var 1..12: x;
var 1..12: y;
var 1..60: z;
constraint x * y = z;
constraint z mod 6 = 0;
constraint x <= y;
constraint z div x >= 3;
solve satisfy;
