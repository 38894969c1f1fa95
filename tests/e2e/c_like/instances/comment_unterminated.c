bool b;
/* the end: a star before the end of the file *