// zqcrypt: the command-line companion of the zqcrypt library. It hashes and
// Base64-encodes files with the library's own code, reads and writes RSA key
// files with its own code, makes keys and MD5 signatures with the
// platform's cryptography (OpenSSL's libcrypto on Linux, CryptoAPI on
// Windows) in the library's key format and byte order, and checks
// signatures through the library's export, so that it answers what a host
// of the library would.
//
// Usage: zqcrypt SUBCOMMAND [OPTION]... [ARGUMENT]...
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <exception>
#include <new>
#include <string>

#include "failure.h"
#include "input.h"
#include "output.h"
#include "standard_output.h"
#include "subcommand.h"
#include "system_path.h"
#include "zqcrypt.h"

namespace {

using namespace zqcli;

const Subcommand* const subcommands[] = {&md5Command,    &base64Command, &keygenCommand,
                                         &pubkeyCommand, &signCommand,   &verifyCommand};

void printOverview() {
    std::string text = "Usage: zqcrypt SUBCOMMAND [OPTION]... [ARGUMENT]...\n"
                       "Hash, Base64, RSA keys, signatures and their check, in the zqcrypt library's formats.\n\n";
    for (const Subcommand* command : subcommands) {
        std::string name = command->name;
        name.resize(std::max<size_t>(name.size(), 8), ' ');
        text += "  " + name + " " + command->summary + "\n";
    }
    text += "\n"
            "  --help     show this help; 'zqcrypt SUBCOMMAND --help' shows a subcommand's\n"
            "  --version  show the version\n\n"
            "Exit status: 0 success (signature or checksums match), 1 a signature or checksum\n"
            "that does not match, 2 any other error. Errors are one line on stderr:\n"
            "'zqcrypt: NAME: reason'. Files named with -o appear only when complete.\n"
#if defined(_WIN32)
            "\nKeys and signatures are made through CryptoAPI.\n"
#elif !defined(ZQ_WITH_LIBCRYPTO)
            "\nThis build has no libcrypto: it reads and writes key files and checks\n"
            "signatures, but makes no keys and no signatures.\n"
#endif
        ;
    writeStandardOutput(text);
}

int run(int argc, char** argv) {
    if (argc < 2) fail("usage", "no subcommand given (try 'zqcrypt --help')");
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printOverview();
        return ExitSuccess;
    }
    if (name == "--version") {
        writeStandardOutput(std::string("zqcrypt ") + ZQCRYPT_VERSION_STRING + "\n");
        return ExitSuccess;
    }
    for (const Subcommand* command : subcommands) {
        if (name != command->name) continue;
        std::vector<OptionSpec> specs = command->options;
        specs.push_back({"help", 'h', false});
        const ParsedOptions options = parseOptions(name, argc - 2, argv + 2, specs);
        if (options.has("help")) {
            writeStandardOutput(std::string(command->help));
            return ExitSuccess;
        }
        return command->run(options);
    }
    fail(quoteName(name), "unknown subcommand (try 'zqcrypt --help')");
}

// The subcommand named, for the one message that cannot be built: it is
// one of the subcommands' own names, which need no quoting.
const char* commandName = "zqcrypt";

// exhausted ends the program when an exception could not even be made: the
// C++ runtime finds no memory for it and no reserve, and would abort. That
// happens only on an exhausted heap; it is reported and ends with 2 as
// every other failure, without allocating, and the temporary output file
// goes. Any other way here (an exception that escapes where none may) stays
// an abort.
[[noreturn]] void exhausted() {
    if (!std::current_exception()) {
        removePendingOutput();
        report(commandName, "memory exhausted");
        _Exit(ExitError);
    }
    abort();
}

}  // namespace

// Every way the program ends is an exit status: a Failure, an exhausted
// heap and any other exception are reported in one line and end with 2,
// after the unwinding has removed any temporary output file.
int main(int argc, char** argv) {
    std::set_terminate(exhausted);
    useBinaryStandardStreams();
#ifdef SIGXFSZ
    // A file-size limit fails the write (EFBIG) rather than ending the
    // program, so that the error is reported and the temporary file removed.
    signal(SIGXFSZ, SIG_IGN);
#endif
    std::string command = "zqcrypt";
    try {
        utf8Arguments(argc, argv);
        for (const Subcommand* known : subcommands) {
            if (argc > 1 && strcmp(argv[1], known->name) == 0) commandName = known->name;
        }
        if (argc > 1) command = quoteName(argv[1]);
        const int code = run(argc, argv);
        closeStandardOutput();
        return code;
    } catch (const Failure& failure) {
        report(failure.name, failure.reason);
        return failure.code;
    } catch (const std::bad_alloc&) {
        // Nothing may be allocated here: the heap that failed would fail
        // again, and an exception thrown from here ends the program.
        report(command.c_str(), "memory exhausted");
    } catch (const std::exception& error) {
        report(command.c_str(), error.what());
    }
    return ExitError;
}

namespace zqcli {

void lacksLibcrypto(const char* command, const char* what) {
    fail(command, std::string(what) + " needs OpenSSL's libcrypto, which this build lacks");
}

}  // namespace zqcli
