// Exits with the number of arguments it was given.
int main(int argc, char**) { return argc - 1; }
