/* An i386 Python: the interpreter's own main, linked with Debian's i386
 * libpython, so that the package's tests can run against the i386 library
 * on an x86-64 machine that has no i386 python3 program. */
extern int Py_BytesMain(int argc, char** argv);

int main(int argc, char** argv) { return Py_BytesMain(argc, argv); }
