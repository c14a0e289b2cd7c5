// Whether an installer carries an Authenticode signature, and whose.
//
// Signing (by osslsigncode) appends a certificate table to the file and points the PE
// header's security directory at it. The installer's package runs from its resource to the
// end of what lmvpack wrote, and every reader of the package, the installer's included,
// works by offsets and sizes, so the table after it is never read as package data. This file
// only reads the table: it finds the signer's certificate in the PKCS#7 signature and names
// its subject and issuer. Whether the signature matches the file is osslsigncode's to say.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct SignatureInfo {
    bool present = false; // the security directory names a certificate table
    uint32_t table_offset = 0;
    uint32_t table_size = 0;
    uint32_t signature_count = 0;                   // PKCS#7 signatures in the table
    std::string signer;                             // "CN=..., O=..." of the signer's certificate
    std::string issuer;                             // of the same certificate
    std::vector<std::vector<uint8_t>> certificates; // every certificate the signature carries
    std::string problem; // why the table or its signature could not be read
};

// A whole file in memory.
SignatureInfo ReadSignature(std::span<const uint8_t> file);

// A file on disk; reads only its headers and its certificate table.
SignatureInfo ReadSignatureOfFile(const std::string& path);

// The certificate table alone (WIN_CERTIFICATE records), filling signer, issuer,
// certificates, signature_count and problem.
void ReadCertificateTable(std::span<const uint8_t> table, SignatureInfo& info);

// The signature of a file that passes by a piece at a time (a member being restored): keeps
// only its headers and its certificate table, whatever the file's size.
class SignatureScanner {
  public:
    void Add(std::span<const uint8_t> piece);
    // False as soon as the first bytes show that the file is no Windows program.
    bool MayBeProgram() const;
    // After the last piece: whether the file was a Windows program, and its signature.
    bool IsProgram() const;
    SignatureInfo Finish();

  private:
    void FindTable();
    void Capture(uint64_t start, std::span<const uint8_t> piece);
    std::vector<uint8_t> head_;
    uint64_t seen_ = 0;
    bool located_ = false;
    SignatureInfo info_;
    std::vector<uint8_t> table_;
};

// The signature in the words of listings: "signed by ... (issued by ...)" with the number of
// signatures when there are several, "present, but ..." with what keeps it from being read,
// or "none".
std::string SignerText(const SignatureInfo& signature);
// The same for a program member, whose missing signature is "not signed".
std::string ProgramSignerText(const SignatureInfo& signature);

// The certificates as PEM text, for handing them to a tool as trust anchors.
std::string CertificatesAsPem(const std::vector<std::vector<uint8_t>>& certificates);
