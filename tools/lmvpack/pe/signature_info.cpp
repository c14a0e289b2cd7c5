#include "tools/lmvpack/pe/signature_info.h"

#include "tools/lmvpack/pe/little_endian.h"
#include "tools/lmvpack/pe/pe_constants.h"
#include "tools/lmvpack/pe/program_file.h"
#include "tools/lmvpack/support/utf16_text.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <optional>

namespace {

constexpr uint32_t kSecurityDirectoryIndex = 4;
constexpr uint16_t kPkcsSignedData = 2; // WIN_CERT_TYPE_PKCS_SIGNED_DATA
constexpr uint32_t kLargestTable = 16u << 20;

// The table's place, from the optional header's security directory entry (its "address" is
// a file offset, not an RVA). False when the file has none.
bool FindCertificateTable(std::span<const uint8_t> headers, uint32_t& offset, uint32_t& size) {
    if (headers.size() < 64 || LoadU16(headers, 0) != 0x5A4D) return false;
    const uint64_t lfanew = LoadU32(headers, 60);
    if (lfanew + 24 + 2 > headers.size() || LoadU32(headers, lfanew) != kPeSignature) return false;
    const uint64_t optional = lfanew + 24;
    const uint16_t optional_size = LoadU16(headers, lfanew + 20);
    const uint64_t entry = optional + 96 + 8 * kSecurityDirectoryIndex;
    if (LoadU16(headers, optional) != kPe32Magic || optional_size < 96 + 8 * 5 ||
        entry + 8 > headers.size() || LoadU32(headers, optional + 92) <= kSecurityDirectoryIndex)
        return false;
    offset = LoadU32(headers, entry);
    size = LoadU32(headers, entry + 4);
    return offset != 0 && size != 0;
}

// A DER element: its tag, its content, and where the next element starts.
struct Der {
    uint8_t tag = 0;
    std::span<const uint8_t> content;
    std::span<const uint8_t> whole; // tag, length and content
};

std::optional<Der> ReadDer(std::span<const uint8_t> bytes, size_t& at) {
    if (at + 2 > bytes.size()) return std::nullopt;
    const size_t start = at;
    Der der;
    der.tag = bytes[at++];
    uint64_t length = bytes[at++];
    if (length & 0x80) {
        const size_t count = length & 0x7F;
        // Indefinite lengths are not DER; four length bytes are more than any table holds.
        if (count == 0 || count > 4 || at + count > bytes.size()) return std::nullopt;
        length = 0;
        for (size_t k = 0; k < count; ++k)
            length = length << 8 | bytes[at++];
    }
    if (length > bytes.size() - at) return std::nullopt;
    der.content = bytes.subspan(at, length);
    der.whole = bytes.subspan(start, at + length - start);
    at += length;
    return der;
}

// The elements inside a constructed element, in order.
std::vector<Der> Children(std::span<const uint8_t> content) {
    std::vector<Der> children;
    size_t at = 0;
    while (at < content.size()) {
        const std::optional<Der> child = ReadDer(content, at);
        if (!child) break;
        children.push_back(*child);
    }
    return children;
}

constexpr uint8_t kSequence = 0x30, kSet = 0x31, kInteger = 0x02, kOid = 0x06;
constexpr uint8_t kContext0 = 0xA0;

bool Equal(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

std::string DirectoryString(const Der& value) {
    std::string text;
    switch (value.tag) {
    case 0x1E: // BMPString: UTF-16, big-endian, no surrogates in names worth showing
        for (size_t k = 0; k + 1 < value.content.size(); k += 2) {
            const uint32_t unit = value.content[k] << 8 | value.content[k + 1];
            AppendUtf8(text, unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
        }
        return text;
    case 0x14: // TeletexString, read as Latin-1 as most software does
        for (const uint8_t c : value.content)
            AppendUtf8(text, c);
        return text;
    default: // UTF8String, PrintableString, IA5String
        for (const uint8_t c : value.content)
            text += static_cast<char>(c < 0x20 || c == 0x7F ? '?' : c);
        return text;
    }
}

// "CN=Test, O=Example" from a Name (a sequence of sets of type-and-value pairs).
std::string NameText(const Der& name) {
    static const struct {
        std::vector<uint8_t> oid;
        const char* label;
    } kLabels[] = {{{0x55, 0x04, 0x03}, "CN"},
                   {{0x55, 0x04, 0x0A}, "O"},
                   {{0x55, 0x04, 0x0B}, "OU"},
                   {{0x55, 0x04, 0x06}, "C"},
                   {{0x55, 0x04, 0x07}, "L"},
                   {{0x55, 0x04, 0x08}, "ST"},
                   {{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x01}, "E"}};
    std::string text;
    for (const Der& set : Children(name.content)) {
        for (const Der& pair : Children(set.content)) {
            const std::vector<Der> parts = Children(pair.content);
            if (parts.size() != 2 || parts[0].tag != kOid) continue;
            const char* label = nullptr;
            for (const auto& known : kLabels)
                if (Equal(parts[0].content, known.oid)) label = known.label;
            if (!label) continue;
            text +=
                (text.empty() ? "" : ", ") + std::string(label) + "=" + DirectoryString(parts[1]);
        }
    }
    return text;
}

// One PKCS#7 SignedData: the certificates it carries and the first signer's certificate.
void ReadSignedData(std::span<const uint8_t> blob, SignatureInfo& info) {
    size_t at = 0;
    const std::optional<Der> content_info = ReadDer(blob, at);
    const std::vector<Der> outer = content_info && content_info->tag == kSequence
                                       ? Children(content_info->content)
                                       : std::vector<Der>{};
    if (outer.size() < 2 || outer[0].tag != kOid || outer[1].tag != kContext0) {
        info.problem = "its signature is not a PKCS#7 structure";
        return;
    }
    const std::vector<Der> explicit_content = Children(outer[1].content);
    const std::vector<Der> signed_data =
        explicit_content.empty() || explicit_content[0].tag != kSequence
            ? std::vector<Der>{}
            : Children(explicit_content[0].content);
    std::vector<Der> certificates;
    const Der* signer_infos = nullptr;
    for (const Der& part : signed_data) {
        if (part.tag == kContext0) certificates = Children(part.content);
        if (part.tag == kSet) signer_infos = &part; // the last set: signerInfos
    }
    for (const Der& certificate : certificates)
        info.certificates.emplace_back(certificate.whole.begin(), certificate.whole.end());
    const std::vector<Der> signers =
        signer_infos ? Children(signer_infos->content) : std::vector<Der>{};
    const std::vector<Der> signer =
        signers.empty() ? std::vector<Der>{} : Children(signers[0].content);
    const std::vector<Der> issuer_and_serial = signer.size() >= 2 && signer[1].tag == kSequence
                                                   ? Children(signer[1].content)
                                                   : std::vector<Der>{};
    if (issuer_and_serial.size() != 2 || issuer_and_serial[1].tag != kInteger) {
        info.problem = "its signature names no signer";
        return;
    }
    for (const Der& certificate : certificates) {
        const std::vector<Der> parts = Children(certificate.content);
        if (parts.empty()) continue;
        std::vector<Der> tbs = Children(parts[0].content);
        // The version, when present, is the explicitly tagged first field.
        if (!tbs.empty() && tbs[0].tag == kContext0) tbs.erase(tbs.begin());
        // serial, signature algorithm, issuer, validity, subject
        if (tbs.size() < 5 || tbs[0].tag != kInteger) continue;
        if (!Equal(tbs[0].content, issuer_and_serial[1].content) ||
            !Equal(tbs[2].whole, issuer_and_serial[0].whole))
            continue;
        info.signer = NameText(tbs[4]);
        info.issuer = NameText(tbs[2]);
        return;
    }
    info.problem = "its signature does not carry the signer's certificate";
}

std::vector<uint8_t> ReadRange(const std::string& path, uint64_t offset, uint64_t size) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<uint8_t> bytes(size);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    bytes.resize(in ? size : static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

SignatureInfo Locate(std::span<const uint8_t> headers, uint64_t file_size) {
    SignatureInfo info;
    if (!FindCertificateTable(headers, info.table_offset, info.table_size)) return info;
    info.present = true;
    if (uint64_t{info.table_offset} + info.table_size > file_size)
        info.problem = "its certificate table runs past the end of the file";
    else if (info.table_size > kLargestTable)
        info.problem = "its certificate table is larger than 16 MiB";
    return info;
}

} // namespace

void ReadCertificateTable(std::span<const uint8_t> table, SignatureInfo& info) {
    // WIN_CERTIFICATE records: a 32-bit length (header included), revision, type, then the
    // data, each record starting on an 8-byte boundary.
    size_t at = 0;
    while (at + 8 <= table.size()) {
        const uint32_t length = LoadU32(table, at);
        if (length < 8 || length > table.size() - at) {
            info.problem = "its certificate table is damaged";
            return;
        }
        if (LoadU16(table, at + 6) == kPkcsSignedData) {
            ++info.signature_count;
            if (info.signature_count == 1) ReadSignedData(table.subspan(at + 8, length - 8), info);
        }
        at += (uint64_t{length} + 7) / 8 * 8;
    }
    if (info.signature_count == 0 && info.problem.empty())
        info.problem = "its certificate table holds no signature";
}

SignatureInfo ReadSignature(std::span<const uint8_t> file) {
    SignatureInfo info = Locate(file.first(std::min<size_t>(file.size(), 4096)), file.size());
    if (info.present && info.problem.empty())
        ReadCertificateTable(file.subspan(info.table_offset, info.table_size), info);
    return info;
}

SignatureInfo ReadSignatureOfFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : 0;
    SignatureInfo info = Locate(ReadRange(path, 0, std::min<std::streamoff>(size, 4096)),
                                static_cast<uint64_t>(size));
    if (info.present && info.problem.empty())
        ReadCertificateTable(ReadRange(path, info.table_offset, info.table_size), info);
    return info;
}

void SignatureScanner::Add(std::span<const uint8_t> piece) {
    const uint64_t start = seen_;
    seen_ += piece.size();
    if (head_.size() < kProgramHeadSize) {
        const size_t taken = std::min(piece.size(), kProgramHeadSize - head_.size());
        head_.insert(head_.end(), piece.begin(), piece.begin() + static_cast<ptrdiff_t>(taken));
        if (head_.size() == kProgramHeadSize) FindTable();
    }
    Capture(start, piece);
}

bool SignatureScanner::MayBeProgram() const {
    return head_.size() < 2 || (head_[0] == 'M' && head_[1] == 'Z');
}

bool SignatureScanner::IsProgram() const {
    return JudgeProgram(head_, seen_).windows_program;
}

void SignatureScanner::FindTable() {
    located_ = true;
    // A table of the usual size at most, sought in the headers; its bytes are caught as they
    // pass, those already among the headers included.
    info_ = Locate(head_, UINT64_MAX);
    if (info_.present && info_.problem.empty()) {
        table_.assign(info_.table_size, 0);
        Capture(0, head_);
    }
}

void SignatureScanner::Capture(uint64_t start, std::span<const uint8_t> piece) {
    if (table_.empty()) return;
    const uint64_t from = std::max<uint64_t>(start, info_.table_offset);
    const uint64_t to =
        std::min<uint64_t>(start + piece.size(), uint64_t{info_.table_offset} + info_.table_size);
    if (from < to)
        std::copy(piece.begin() + static_cast<ptrdiff_t>(from - start),
                  piece.begin() + static_cast<ptrdiff_t>(to - start),
                  table_.begin() + static_cast<ptrdiff_t>(from - info_.table_offset));
}

SignatureInfo SignatureScanner::Finish() {
    if (!located_) FindTable();
    SignatureInfo info = info_;
    if (!info.present || !info.problem.empty()) return info;
    if (uint64_t{info.table_offset} + info.table_size > seen_)
        info.problem = "its certificate table runs past the end of the file";
    else
        ReadCertificateTable(table_, info);
    return info;
}

std::string CertificatesAsPem(const std::vector<std::vector<uint8_t>>& certificates) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string pem;
    for (const std::vector<uint8_t>& der : certificates) {
        std::string base64;
        for (size_t k = 0; k < der.size(); k += 3) {
            const uint32_t group = der[k] << 16 | (k + 1 < der.size() ? der[k + 1] << 8 : 0) |
                                   (k + 2 < der.size() ? der[k + 2] : 0);
            base64 += kDigits[group >> 18];
            base64 += kDigits[(group >> 12) & 63];
            base64 += k + 1 < der.size() ? kDigits[(group >> 6) & 63] : '=';
            base64 += k + 2 < der.size() ? kDigits[group & 63] : '=';
        }
        pem += "-----BEGIN CERTIFICATE-----\n";
        for (size_t k = 0; k < base64.size(); k += 64)
            pem += base64.substr(k, 64) + "\n";
        pem += "-----END CERTIFICATE-----\n";
    }
    return pem;
}

std::string SignerText(const SignatureInfo& signature) {
    if (!signature.present) return "none";
    if (!signature.problem.empty()) return "present, but " + signature.problem;
    std::string text = "signed by " + signature.signer;
    text += signature.issuer == signature.signer ? " (self-signed)"
                                                 : " (issued by " + signature.issuer + ")";
    if (signature.signature_count > 1)
        text += "; " + std::to_string(signature.signature_count) + " signatures";
    return text;
}

std::string ProgramSignerText(const SignatureInfo& signature) {
    return signature.present ? SignerText(signature) : "not signed";
}
