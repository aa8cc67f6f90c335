cc -I include -I build/linux/include docs/snippets/first_program.c -L build/linux/lib -lzqcrypt \
    -Wl,-rpath,"$PWD/build/linux/lib" -o first_program
./first_program "Hello, zqcrypt"
