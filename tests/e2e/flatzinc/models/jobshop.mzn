% Job shop: each job runs its tasks in order on the given machines; a
% machine runs one task at a time (reified disjunctions); least makespan.
int: jobs = 3;
int: tasks = 3;
array[1..jobs, 1..tasks] of int: machine = [| 1, 2, 3 | 2, 1, 3 | 1, 3, 2 |];
array[1..jobs, 1..tasks] of int: duration = [| 3, 2, 2 | 2, 4, 1 | 4, 3, 2 |];
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
