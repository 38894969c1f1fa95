% Golomb ruler with m marks: all differences distinct, shortest ruler.
include "alldifferent.mzn";
int: m;
int: limit = m * m;
array[1..m] of var 0..limit: mark;
constraint mark[1] = 0;
constraint forall(i in 1..m - 1)(mark[i] < mark[i + 1]);
constraint alldifferent([mark[j] - mark[i] | i, j in 1..m where i < j]);
constraint mark[2] - mark[1] < mark[m] - mark[m - 1];
solve minimize mark[m];
