% 3 by 3 magic square over 1..9.
include "alldifferent.mzn";
int: n = 3;
int: s = n * (n * n + 1) div 2;
array[1..n, 1..n] of var 1..n*n: m;
constraint alldifferent([m[i, j] | i, j in 1..n]);
constraint forall(i in 1..n)(sum(j in 1..n)(m[i, j]) = s);
constraint forall(j in 1..n)(sum(i in 1..n)(m[i, j]) = s);
constraint sum(i in 1..n)(m[i, i]) = s;
constraint sum(i in 1..n)(m[i, n + 1 - i]) = s;
solve satisfy;
