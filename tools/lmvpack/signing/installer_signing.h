// Signing installers with an author's code-signing certificate, through osslsigncode, and
// checking a signature that an installer carries.
//
// lmvpack never writes an Authenticode signature itself: osslsigncode computes it and
// appends it. What lmvpack adds is what an author should not have to think about: the key's
// password never appears on a command line nor in a file (it reaches osslsigncode through a
// pipe, and its environment variable is taken out of lmvpack's environment once read, so that
// no child sees it), an installer that is signed already gets its old signature replaced
// rather than nested, and the signed installer is read back to prove that its package is
// intact and that the signature matches it before it replaces the output.
#pragma once

#include "tools/lmvpack/pe/signature_info.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <optional>
#include <string>

// The environment variable read for the key's password unless --password-env names another.
constexpr const char* kDefaultPasswordVariable = "LMVPACK_KEY_PASSWORD";

struct SigningOptions {
    std::string cert;          // PEM certificate (with any intermediate certificates)
    std::string key;           // PEM private key
    std::string pkcs12;        // or both in one PKCS#12 file
    std::string password_env;  // name of the variable holding the password
    std::string password_file; // or a file holding it (one line)
    std::string timestamp;     // RFC 3161 time-stamping server
};

// --cert, --key, --pkcs12, --password-env, --password-file and --timestamp.
void AddSigningOptions(CLI::App& command, SigningOptions& options);

bool SigningRequested(const SigningOptions& options);

// What is wrong with the combination of options, for the user; empty when it is usable.
std::string SigningOptionsProblem(const SigningOptions& options);

// The certificate, the key and the key's password, read once before any work: the password
// from its file or variable (the variable then leaves the environment).
struct SigningKey {
    SigningOptions options;
    std::optional<std::string> password; // none when the key is not protected by one
};

// Throws BuildError for options that do not go together or a password that cannot be read.
SigningKey ReadSigningKey(const SigningOptions& options);

// Signs the Windows program `input` (an uninstaller) into `output`, replacing any signature it
// has, with `description` as the signature's program name, and checks the new signature.
// Messages name the program as `shown`. Throws BuildError.
SignatureInfo SignProgram(const std::filesystem::path& input, const std::filesystem::path& output,
                          const SigningKey& key, const std::string& description,
                          const std::string& shown);

// Signs the installer `input` into `output` (which may be the same file) and proves that the
// signed file holds the same package. Messages name the installer as `shown`. Throws
// BuildError.
SignatureInfo SignInstaller(const std::filesystem::path& input, const std::filesystem::path& output,
                            const SigningKey& key, const std::string& description,
                            const std::string& shown);

enum class SignatureState {
    Unsigned,
    Matches,   // the signature is whole and matches every byte it covers
    Changed,   // the file was changed after it was signed
    Unchecked, // osslsigncode is not installed
    Damaged,   // the signature cannot be read or verified
};

// "unsigned", "matches", "changed", "unchecked", "damaged": for JSON and messages.
const char* SignatureStateName(SignatureState state);

struct SignatureCheck {
    SignatureState state = SignatureState::Unsigned;
    SignatureInfo info;
    std::string detail; // osslsigncode's reason when the signature does not verify
};

// Checks the signature against the certificates it carries (and the system's authorities),
// so that "Matches" says the file is as its signer signed it, whoever that was; whether
// Windows trusts the signer is another question (a self-signed certificate it does not).
SignatureCheck CheckSignature(const std::string& path);
