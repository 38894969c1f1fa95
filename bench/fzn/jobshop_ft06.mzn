% The 6 by 6 job shop of Fisher and Thompson (ft06); tasks of a machine
% do not overlap (reified disjunctions); least makespan (55).
int: jobs = 6;
int: tasks = 6;
array[1..jobs, 1..tasks] of int: machine =
  [| 3, 1, 2, 4, 6, 5 | 2, 3, 5, 6, 1, 4 | 3, 4, 6, 1, 2, 5
   | 2, 1, 3, 4, 5, 6 | 3, 2, 5, 6, 1, 4 | 2, 4, 6, 1, 5, 3 |];
array[1..jobs, 1..tasks] of int: duration =
  [| 1, 3, 6, 7, 3, 6 | 8, 5, 10, 10, 10, 4 | 5, 4, 8, 9, 1, 7
   | 5, 5, 5, 3, 8, 9 | 9, 3, 5, 4, 3, 1 | 3, 3, 9, 10, 4, 1 |];
int: horizon = sum(j in 1..jobs, t in 1..tasks)(duration[j, t]);
array[1..jobs, 1..tasks] of var 0..horizon: start;
var 0..horizon: makespan;
constraint forall(j in 1..jobs, t in 1..tasks - 1)(start[j, t] + duration[j, t] <= start[j, t + 1]);
constraint forall(j in 1..jobs)(start[j, tasks] + duration[j, tasks] <= makespan);
constraint forall(j1, j2 in 1..jobs, t1, t2 in 1..tasks
                  where j1 < j2 /\ machine[j1, t1] = machine[j2, t2])(
    start[j1, t1] + duration[j1, t1] <= start[j2, t2] \/
    start[j2, t2] + duration[j2, t2] <= start[j1, t1]);
solve minimize makespan;
