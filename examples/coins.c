// Pay 289 cents with as few coins as possible, using at most one kind of
// the small coins (1, 2 and 5 cents) twice or more.
int {0:289} c1, c2, c5, c10, c20, c50, c100, c200;
bool many1, many2, many5;
minimize(c1 + c2 + c5 + c10 + c20 + c50 + c100 + c200);
c1 + 2 * c2 + 5 * c5 + 10 * c10 + 20 * c20 + 50 * c50 + 100 * c100 + 200 * c200 == 289;
many1 == (c1 >= 2);
many2 == (c2 >= 2);
many5 == (c5 >= 2);
many1 + many2 + many5 <= 1;
