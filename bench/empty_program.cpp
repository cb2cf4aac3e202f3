// Does nothing: the start-up and exit cost of a C++ program linked like the runner's.
int main() { return 0; }
