#include "protocols/starttls_probe.h"

namespace protocols {

MailResult StartTlsThroughSmtp(SmtpClient& client, const std::string& host, std::uint16_t port) {
  (void)client.SetPlain(true);  // plain until the protocol asks for TLS; never fails
  if (MailResult r = client.ConnectAndGreet(host, port); Failed(r)) return r;
  client.SetHeloDomain(client.LocalHostName());
  auto introduce = [&client] {
    const MailResult ehlo = client.Ehlo();
    return Failed(ehlo) && client.connected() ? client.Helo() : ehlo;
  };
  if (MailResult r = introduce(); Failed(r)) return r;
  if (MailResult r = client.StartTls(); Failed(r)) return r;
  return introduce();
}

MailResult StartTlsThroughPop3(Pop3Client& client, const std::string& host, std::uint16_t port) {
  (void)client.SetPlain(true);  // plain until the protocol asks for TLS; never fails
  if (MailResult r = client.ConnectAndGreet(host, port); Failed(r)) return r;
  return client.StartTls();
}

}  // namespace protocols
