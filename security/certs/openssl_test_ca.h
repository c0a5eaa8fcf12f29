#pragma once
// Test support (header only, used by the security and ctl tests): a small
// certificate authority driven through the `openssl` command in a temporary
// folder, issuing certificates with any key, digest, extensions and dates.
// One `openssl ca` run per certificate (the request of its key, with the
// subject replaced) keeps a suite of dozens of certificates quick.
// Failures throw std::runtime_error with the command and its output.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "security/certs/pem.h"

namespace security::testing {

class OpenSslTestCa {
 public:
  struct CertificateSpec {
    std::string name;
    std::string issuer = "self";  // "self" or the name of an issued certificate
    std::string key;               // name of a key made with MakeKey
    std::string digest = "sha256";
    std::string subject;           // openssl form, "/O=Tests/CN=host"
    std::vector<std::string> extensions = {};  // openssl extension lines; empty gives a v1 certificate
    int from_days = -1;            // validity relative to now, in days
    int to_days = 365;
    bool corrupt_signature = false;  // flip a bit of the signature
  };

  explicit OpenSslTestCa(std::filesystem::path dir) : dir_(std::move(dir)) {
    std::filesystem::create_directories(dir_ / "newcerts");
    Write("index.txt", "");
    Write("serial", "1000\n");
    Write("ca.cnf",
          "[ ca ]\ndefault_ca = dflt\n[ dflt ]\ndir = .\ndatabase = ./index.txt\nnew_certs_dir = ./newcerts\n"
          "serial = ./serial\npolicy = any\nunique_subject = no\ndefault_md = sha256\n"
          "[ any ]\ncommonName = optional\n[ req ]\ndistinguished_name = dn\n[ dn ]\n");
  }

  const std::filesystem::path& dir() const { return dir_; }

  // "rsa:BITS", "dsa:BITS" or "ec:CURVE" (P-256, P-384, ...).
  void MakeKey(const std::string& name, const std::string& type) {
    const auto colon = type.find(':');
    const std::string algorithm = type.substr(0, colon);
    const std::string bits = type.substr(colon + 1);
    if (algorithm == "rsa") {
      Run("genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:" + bits + " -out " + name + ".key");
    } else if (algorithm == "dsa") {
      Run("genpkey -genparam -algorithm DSA -pkeyopt dsa_paramgen_bits:" + bits +
          " -pkeyopt dsa_paramgen_q_bits:160 -out " + name + ".param");
      Run("genpkey -paramfile " + name + ".param -out " + name + ".key");
    } else if (algorithm == "ec") {
      Run("genpkey -algorithm EC -pkeyopt ec_paramgen_curve:" + bits + " -out " + name + ".key");
    } else {
      throw std::runtime_error("unknown key type " + type);
    }
    // One request per key; each certificate gets its own subject when issued.
    Run("req -new -key " + name + ".key -subj /CN=request -config ca.cnf -out " + name + ".csr");
  }

  void Issue(const CertificateSpec& wanted) {
    const std::string& n = wanted.name;
    std::string extension_args;
    if (!wanted.extensions.empty()) {
      std::string text = "[ v3 ]\n";
      for (const auto& line : wanted.extensions) text += line + "\n";
      Write(n + ".ext", text);
      extension_args = " -extfile " + n + ".ext -extensions v3";
    }
    const std::string signer = wanted.issuer == "self" ? " -selfsign -keyfile " + wanted.key + ".key"
                                                     : " -keyfile " + keys_.at(wanted.issuer) + ".key -cert " +
                                                           wanted.issuer + ".pem";
    Run("ca -batch -config ca.cnf -notext -preserveDN -md " + wanted.digest + signer + " -in " + wanted.key +
        ".csr -subj \"" + wanted.subject + "\" -out " + n + ".pem -startdate " + Date(wanted.from_days) + " -enddate " +
        Date(wanted.to_days) + extension_args);
    keys_[n] = wanted.key;
    const auto blocks = ParsePem(Read(n + ".pem"));
    if (blocks.size() != 1) throw std::runtime_error("openssl ca wrote no certificate for " + n);
    std::vector<std::uint8_t> der = blocks[0].data;
    if (wanted.corrupt_signature) {
      der[der.size() - 5] ^= 0x10;
      Write(n + ".pem", EncodePem("CERTIFICATE", der));
    }
    Write(n + ".der", std::string(der.begin(), der.end()));
  }

  std::vector<std::uint8_t> Der(const std::string& name) const {
    const std::string der = Read(name + ".der");
    return std::vector<std::uint8_t>(der.begin(), der.end());
  }
  std::string Pem(const std::string& name) const { return Read(name + ".pem"); }
  std::filesystem::path PemPath(const std::string& name) const { return dir_ / (name + ".pem"); }
  std::filesystem::path KeyPath(const std::string& name) const { return dir_ / (name + ".key"); }

  // Runs `openssl ARGS` in the CA folder; returns its standard output.
  std::string Run(const std::string& args) const {
    const std::string command =
        "cd '" + dir_.string() + "' && openssl " + args + " > last.out 2> last.err";
    const int status = std::system(command.c_str());
    if (status != 0) {
      throw std::runtime_error("openssl " + args + " failed: " + Read("last.err"));
    }
    return Read("last.out");
  }

  std::string Read(const std::string& file) const {
    std::ifstream in(dir_ / file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  void Write(const std::string& file, const std::string& bytes) const {
    std::ofstream out(dir_ / file, std::ios::binary);
    out << bytes;
  }

 private:
  // YYYYMMDDHHMMSSZ, `days` from now (whole days, so the date is stable for the run).
  static std::string Date(int days) {
    const std::time_t t = std::time(nullptr) + static_cast<std::time_t>(days) * 86400;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof(buffer), "%Y%m%d%H%M%SZ", &tm);
    return buffer;
  }

  std::filesystem::path dir_;
  std::map<std::string, std::string> keys_;  // certificate name -> key name
};

}  // namespace security::testing
