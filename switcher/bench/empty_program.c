/* Does nothing: scripts/bench weighs vindo's whole run on the sample settings file
   against this program's start-up under Wine. */
int main(void) { return 0; }
