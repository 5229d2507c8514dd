/* A stand-in template for the branding tests of the host build: a Windows program with the
   launcher's own resource script, laid out by the same linker (resources, then relocations and
   debug sections), without the launcher's code. */
int main(void) { return 0; }
