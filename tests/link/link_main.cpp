// Links every library of the program together; building it is the test.

int main() { return 0; }
