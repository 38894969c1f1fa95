% The Petersen graph coloured with as few colours as possible.
int: n = 10;
array[1..15, 1..2] of int: edge = [| 1, 2 | 2, 3 | 3, 4 | 4, 5 | 5, 1
                                   | 1, 6 | 2, 7 | 3, 8 | 4, 9 | 5, 10
                                   | 6, 8 | 8, 10 | 10, 7 | 7, 9 | 9, 6 |];
array[1..n] of var 1..n: colour;
var 1..n: colours;
constraint forall(e in 1..15)(colour[edge[e, 1]] != colour[edge[e, 2]]);
constraint forall(v in 1..n)(colour[v] <= colours);
constraint colour[1] = 1;
solve minimize colours;
