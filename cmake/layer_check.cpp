// Nothing to run: the program exists so that the linker resolves every
// symbol of one layer's library against the layers below it alone.
int main() { return 0; }
