% Permutations f of 1..n no greater, in lexicographic order, than their
% inverse g. The compiled model reifies the order's steps into introduced
% Booleans that a solution may leave free; only f is printed.
include "inverse.mzn";
include "lex_lesseq.mzn";
int: n;
array[1..n] of var 1..n: f;
array[1..n] of var 1..n: g;
constraint inverse(f, g);
constraint lex_lesseq(f, g);
solve satisfy;
output ["f = \(f);\n"];
