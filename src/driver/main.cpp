// qz5: placeholder until the run driver lands.
int main() { return 0; }
