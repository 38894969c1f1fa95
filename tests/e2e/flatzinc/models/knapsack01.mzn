% 0/1 knapsack: most value within the capacity.
int: n = 8;
array[1..n] of int: weight = [12, 7, 11, 8, 9, 6, 14, 5];
array[1..n] of int: value = [24, 13, 23, 15, 16, 11, 27, 8];
int: capacity = 40;
array[1..n] of var bool: take;
constraint sum(i in 1..n)(bool2int(take[i]) * weight[i]) <= capacity;
solve maximize sum(i in 1..n)(bool2int(take[i]) * value[i]);
