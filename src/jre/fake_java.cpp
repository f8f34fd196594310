// A stand-in for a JRE's java.exe in the JRE search tests. Only its version resource matters;
// run, it does nothing.
int main() { return 0; }
