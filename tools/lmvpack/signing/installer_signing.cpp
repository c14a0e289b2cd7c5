#include "tools/lmvpack/signing/installer_signing.h"

#include "tools/lmvpack/installer/installer_reader.h"
#include "tools/lmvpack/process/child_process.h"
#include "tools/lmvpack/support/atomic_file.h"
#include "tools/lmvpack/support/temporary_files.h"
#include "tools/lmvpack/support/tool_error.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr auto kSigningTime = std::chrono::minutes(5);
constexpr const char* kSystemAuthorities = "/etc/ssl/certs/ca-certificates.crt";

// A folder only this user can enter, removed with everything in it on every way out, signals
// included (temporary_files.h).
class PrivateFolder {
  public:
    PrivateFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/lmvpack-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw BuildError(std::string("cannot make a private temporary folder: ") +
                             std::strerror(errno));
        folder_ = TemporaryPath(pattern, TemporaryPath::Kind::Folder);
        path_ = pattern;
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    fs::path operator/(const std::string& name) const { return path_ / name; }

    // A file readable and writable by this user alone, created here with `text`.
    fs::path WritePrivate(const std::string& name, const std::string& text) const {
        const fs::path file = path_ / name;
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        bool ok = fd >= 0;
        for (size_t done = 0; ok && done < text.size();) {
            const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
            ok = put > 0;
            done += ok ? static_cast<size_t>(put) : 0;
        }
        if (fd >= 0) ok = ::close(fd) == 0 && ok;
        if (!ok) throw BuildError("cannot write " + file.string() + ": " + std::strerror(errno));
        return file;
    }

  private:
    TemporaryPath folder_;
    fs::path path_;
};

// The password, or none when the key is not protected by one. A variable is taken out of the
// environment once read: the children lmvpack starts afterwards (osslsigncode, Wine) never
// see it.
std::optional<std::string> ReadPassword(const SigningOptions& options) {
    if (!options.password_file.empty()) {
        std::string text;
        try {
            const std::vector<uint8_t> bytes = ReadWholeFile(options.password_file);
            text.assign(bytes.begin(), bytes.end());
        } catch (const BuildError& failure) {
            throw BuildError(std::string("--password-file: ") + failure.what());
        }
        // A password file is one line; its line end is not part of the password.
        if (text.ends_with("\n")) text.pop_back();
        if (text.ends_with("\r")) text.pop_back();
        return text;
    }
    const std::string variable =
        options.password_env.empty() ? kDefaultPasswordVariable : options.password_env;
    if (const char* value = std::getenv(variable.c_str())) {
        std::string password = value;
        ::unsetenv(variable.c_str());
        return password;
    }
    if (!options.password_env.empty())
        throw BuildError("--password-env: the environment variable " + variable + " is not set");
    return std::nullopt;
}

// The password on its way to osslsigncode: written into a pipe, whose reading end the child
// opens by its /dev/fd name. Nothing holding it ever reaches a file system, so nothing can
// outlive the tool, whatever ends it.
class PasswordPipe {
  public:
    explicit PasswordPipe(const std::string& password) {
        // osslsigncode reads at most this much of it; the pipe holds it all without a reader.
        constexpr size_t kLongest = 4095;
        if (password.size() > kLongest)
            throw BuildError("the key's password is longer than " + std::to_string(kLongest) +
                             " bytes, more than osslsigncode reads");
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            throw BuildError(std::string("cannot make a pipe: ") + std::strerror(errno));
        read_ = ends[0];
        size_t done = 0;
        while (done < password.size()) {
            const ssize_t put = ::write(ends[1], password.data() + done, password.size() - done);
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) break;
            done += static_cast<size_t>(put);
        }
        ::close(ends[1]);
        if (done != password.size())
            throw BuildError(std::string("cannot pass the password on: ") + std::strerror(errno));
    }
    ~PasswordPipe() { ::close(read_); }
    PasswordPipe(const PasswordPipe&) = delete;
    PasswordPipe& operator=(const PasswordPipe&) = delete;
    int fd() const { return read_; }
    std::string path() const { return "/dev/fd/" + std::to_string(read_); }

  private:
    int read_ = -1;
};

ChildCommand Osslsigncode(std::vector<std::string> arguments, const PasswordPipe* password) {
    ChildCommand command;
    command.argv = {"osslsigncode"};
    command.argv.insert(command.argv.end(), arguments.begin(), arguments.end());
    // The variable that lmvpack read is gone from its environment already; the default one
    // may still be set when the password came from a file.
    command.unset_env = {kDefaultPasswordVariable};
    if (password) command.keep_fds = {password->fd()};
    return command;
}

Captured RunOsslsigncode(const std::vector<std::string>& arguments, const std::string& what,
                         const PasswordPipe* password = nullptr) {
    if (!FindOnPath("osslsigncode"))
        throw BuildError(what + " needs osslsigncode, which is not installed (Debian and Ubuntu: "
                                "apt-get install osslsigncode)");
    Captured result;
    try {
        result = RunCaptured(Osslsigncode(arguments, password), kSigningTime);
    } catch (const std::runtime_error& failure) {
        throw BuildError(what + ": " + failure.what());
    }
    if (!result.status) throw BuildError(what + ": osslsigncode did not finish within 5 minutes");
    return result;
}

// osslsigncode's own words about why it failed: its lines that say so.
std::string Reason(const std::string& output) {
    std::string reason;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        const std::string line = output.substr(start, end - start);
        const bool telling = line.find("MISMATCH") != std::string::npos ||
                             line.starts_with("Failed") ||
                             line.find("Error:") != std::string::npos ||
                             line.find("Wrong password") != std::string::npos ||
                             line.find("Unable to") != std::string::npos;
        if (telling && reason.find(line) == std::string::npos)
            reason += (reason.empty() ? "" : "; ") + line;
        start = end + 1;
    }
    return reason.empty() ? "osslsigncode gave no reason" : reason;
}

bool SamePackage(const InstallerListing& a, const InstallerListing& b) {
    if (a.package_offset != b.package_offset || a.name != b.name || a.total_size != b.total_size ||
        a.members.size() != b.members.size())
        return false;
    for (size_t i = 0; i < a.members.size(); ++i)
        if (std::memcmp(&a.members[i].entry, &b.members[i].entry, sizeof(MemberEntry)) != 0)
            return false;
    return true;
}

} // namespace

void AddSigningOptions(CLI::App& command, SigningOptions& options) {
    const std::string group = "Signing (through osslsigncode)";
    command.add_option("--cert", options.cert, "Code-signing certificate, PEM (with --key)")
        ->group(group);
    command.add_option("--key", options.key, "Its private key, PEM")->group(group);
    command.add_option("--pkcs12", options.pkcs12, "Certificate and key in one PKCS#12 file")
        ->group(group);
    command
        .add_option("--password-env", options.password_env,
                    std::string("Environment variable holding the key's password (default: ") +
                        kDefaultPasswordVariable + ", when set)")
        ->group(group);
    command
        .add_option("--password-file", options.password_file,
                    "File holding the key's password (one line)")
        ->group(group);
    command
        .add_option("--timestamp", options.timestamp,
                    "RFC 3161 time-stamping server, so the signature outlives the certificate")
        ->group(group);
}

bool SigningRequested(const SigningOptions& options) {
    return !options.cert.empty() || !options.key.empty() || !options.pkcs12.empty();
}

std::string SigningOptionsProblem(const SigningOptions& options) {
    if (!options.pkcs12.empty() && (!options.cert.empty() || !options.key.empty()))
        return "give either --pkcs12, or --cert with --key, not both";
    if (options.pkcs12.empty() && options.cert.empty() != options.key.empty())
        return options.cert.empty() ? "--key needs --cert (the certificate that goes with it)"
                                    : "--cert needs --key (the certificate's private key)";
    if (!options.password_env.empty() && !options.password_file.empty())
        return "give the password either in a variable (--password-env) or in a file "
               "(--password-file), not both";
    if (!SigningRequested(options) &&
        (!options.password_env.empty() || !options.password_file.empty() ||
         !options.timestamp.empty()))
        return "--password-env, --password-file and --timestamp need --cert and --key, or "
               "--pkcs12";
    for (const std::string* file : {&options.cert, &options.key, &options.pkcs12}) {
        std::error_code error;
        if (!file->empty() && !fs::is_regular_file(*file, error)) return *file + ": no such file";
    }
    return {};
}

SigningKey ReadSigningKey(const SigningOptions& options) {
    if (const std::string problem = SigningOptionsProblem(options); !problem.empty())
        throw BuildError(problem);
    return SigningKey{options, ReadPassword(options)};
}

namespace {

// Signs `input` into a private file, has `accept` look at it (it throws to refuse), and only
// then writes it to `output`.
SignatureInfo SignInto(const fs::path& input, const fs::path& output, const SigningKey& key,
                       const std::string& description, const std::string& shown,
                       const std::function<void(const fs::path&)>& accept) {
    const PrivateFolder scratch;
    // osslsigncode names the files it was given; the user knows them by other names.
    const auto plain = [&](const std::string& text) {
        std::string out = text;
        for (const std::string& inner :
             {(scratch / "unsigned.exe").string(), (scratch / "signed.exe").string()})
            for (size_t at; (at = out.find(inner)) != std::string::npos;)
                out.replace(at, inner.size(), shown);
        for (size_t at; (at = out.find(input.string())) != std::string::npos;)
            out.replace(at, input.string().size(), shown);
        return out;
    };
    fs::path unsigned_input = input;
    if (ReadSignatureOfFile(input.string()).present) {
        // Signing a signed file would keep the old signature in some versions of the tool;
        // the new signature is meant to be the only one.
        unsigned_input = scratch / "unsigned.exe";
        const Captured removed = RunOsslsigncode(
            {"remove-signature", "-in", input.string(), "-out", unsigned_input.string()},
            "removing the old signature");
        if (removed.status != 0)
            throw BuildError("cannot remove the old signature of " + shown + ": " +
                             plain(Reason(removed.output)));
    }

    const SigningOptions& options = key.options;
    std::vector<std::string> arguments = {"sign"};
    if (!options.pkcs12.empty())
        arguments.insert(arguments.end(), {"-pkcs12", options.pkcs12});
    else
        arguments.insert(arguments.end(), {"-certs", options.cert, "-key", options.key});
    std::optional<PasswordPipe> password;
    if (key.password) {
        password.emplace(*key.password);
        arguments.insert(arguments.end(), {"-readpass", password->path()});
    }
    arguments.insert(arguments.end(), {"-h", "sha256", "-n", description});
    if (!options.timestamp.empty()) arguments.insert(arguments.end(), {"-ts", options.timestamp});
    const fs::path signed_file = scratch / "signed.exe";
    arguments.insert(arguments.end(),
                     {"-in", unsigned_input.string(), "-out", signed_file.string()});
    const Captured signing = RunOsslsigncode(arguments, "signing", password ? &*password : nullptr);
    password.reset();
    if (signing.status != 0) {
        std::string reason = plain(Reason(signing.output));
        if (signing.output.find("Wrong password") != std::string::npos ||
            signing.output.find("pass phrase") != std::string::npos)
            reason = "the key could not be read: a wrong or missing password? Give it in " +
                     std::string(kDefaultPasswordVariable) + " or with --password-file (" + reason +
                     ")";
        throw BuildError("osslsigncode could not sign " + shown + ": " + reason);
    }
    if (accept) accept(signed_file);
    const SignatureCheck check = CheckSignature(signed_file.string());
    if (check.state != SignatureState::Matches)
        throw BuildError("the new signature of " + shown + " does not verify: " + check.detail);
    WriteFileAtomically(output, ReadWholeFile(signed_file), true);
    return check.info;
}

} // namespace

SignatureInfo SignProgram(const fs::path& input, const fs::path& output, const SigningKey& key,
                          const std::string& description, const std::string& shown) {
    return SignInto(input, output, key, description, shown, nullptr);
}

SignatureInfo SignInstaller(const fs::path& input, const fs::path& output, const SigningKey& key,
                            const std::string& description, const std::string& shown) {
    InstallerListing before;
    try {
        before = ReadInstaller(input.string());
    } catch (const InstallerError& failure) {
        throw BuildError(std::string("cannot sign it: ") + failure.what());
    }
    // The output is replaced only by a signed installer that reads as the same package.
    return SignInto(input, output, key, description, shown, [&](const fs::path& signed_file) {
        try {
            if (!SamePackage(before, ReadInstaller(signed_file.string())))
                throw BuildError("internal error: the signed installer's package differs from "
                                 "the unsigned one");
        } catch (const InstallerError&) {
            throw BuildError("internal error: the signed installer cannot be read as an installer");
        }
    });
}

const char* SignatureStateName(SignatureState state) {
    switch (state) {
    case SignatureState::Unsigned:
        return "unsigned";
    case SignatureState::Matches:
        return "matches";
    case SignatureState::Changed:
        return "changed";
    case SignatureState::Unchecked:
        return "unchecked";
    case SignatureState::Damaged:
        return "damaged";
    }
    return "damaged";
}

SignatureCheck CheckSignature(const std::string& path) {
    SignatureCheck check;
    check.info = ReadSignatureOfFile(path);
    if (!check.info.present) return check;
    if (!check.info.problem.empty()) {
        check.state = SignatureState::Damaged;
        check.detail = check.info.problem;
        return check;
    }
    if (!FindOnPath("osslsigncode")) {
        check.state = SignatureState::Unchecked;
        check.detail = "osslsigncode is not installed, so the signature was not checked";
        return check;
    }
    // The signature's own certificates are trusted for this check, so that it answers
    // whether the file is as its signer signed it. The system's authorities complete the
    // chain of a certificate that a commercial authority issued.
    std::string anchors = CertificatesAsPem(check.info.certificates);
    try {
        const std::vector<uint8_t> system = ReadWholeFile(kSystemAuthorities);
        anchors.append(system.begin(), system.end());
    } catch (const BuildError&) {
        // Without the system's list, self-signed and complete chains still verify.
    }
    const PrivateFolder scratch;
    const fs::path anchor_file = scratch.WritePrivate("anchors.pem", anchors);
    Captured verify;
    try {
        verify = RunOsslsigncode({"verify", "-in", path, "-CAfile", anchor_file.string()},
                                 "checking the signature");
    } catch (const BuildError&) {
        check.state = SignatureState::Damaged;
        check.detail = "osslsigncode did not finish checking the signature";
        return check;
    }
    // osslsigncode's own report is for people who know its words; ours is one plain sentence.
    if (verify.status == 0) {
        check.state = SignatureState::Matches;
    } else if (verify.output.find("MISMATCH") != std::string::npos) {
        check.state = SignatureState::Changed;
        check.detail = "the file was changed after it was signed: the signature no longer matches "
                       "it";
    } else {
        check.state = SignatureState::Damaged;
        check.detail = "the signature does not verify: it is damaged, or not a valid Authenticode "
                       "signature";
    }
    return check;
}
