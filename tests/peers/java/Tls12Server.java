// A TLS 1.2 echo server on the JDK's own TLS stack, set up as a current
// deployment is: TLS 1.2 only, ECDHE suites only, the JDK's default security
// properties, one ECDSA and one RSA certificate chain to choose from.
//
// java Tls12Server PORT PASSWORD SUITES KEYSTORE.p12...
// SUITES are comma-separated JDK names; every key entry of every key store
// is offered, the JDK picking the one that fits the suite. The ECDHE groups
// follow the jdk.tls.namedGroups system property when it is set.
// Prints "ready" once it listens on 127.0.0.1:PORT and "session PROTOCOL
// SUITE KEY" for each handshake; serves connections one at a time, echoing
// every byte, until it is killed.

import java.io.FileInputStream;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetAddress;
import java.security.KeyStore;
import java.util.Collections;
import javax.net.ssl.KeyManagerFactory;
import javax.net.ssl.SSLContext;
import javax.net.ssl.SSLServerSocket;
import javax.net.ssl.SSLSocket;

public class Tls12Server {
  public static void main(String[] args) throws Exception {
    int port = Integer.parseInt(args[0]);
    char[] password = args[1].toCharArray();
    String[] suites = args[2].split(",");
    KeyStore keys = KeyStore.getInstance("PKCS12");
    keys.load(null, password);
    for (int k = 3; k < args.length; ++k) {
      KeyStore one = KeyStore.getInstance("PKCS12");
      try (FileInputStream in = new FileInputStream(args[k])) {
        one.load(in, password);
      }
      for (String alias : Collections.list(one.aliases())) {
        keys.setEntry(alias + "-" + k, one.getEntry(alias, new KeyStore.PasswordProtection(password)),
                      new KeyStore.PasswordProtection(password));
      }
    }
    KeyManagerFactory kmf = KeyManagerFactory.getInstance("SunX509");
    kmf.init(keys, password);
    SSLContext context = SSLContext.getInstance("TLSv1.2");
    context.init(kmf.getKeyManagers(), null, null);
    SSLServerSocket server = (SSLServerSocket) context.getServerSocketFactory()
        .createServerSocket(port, 8, InetAddress.getByName("127.0.0.1"));
    server.setEnabledProtocols(new String[] {"TLSv1.2"});
    server.setEnabledCipherSuites(suites);
    System.out.println("ready");
    System.out.flush();
    byte[] buffer = new byte[16384];
    while (true) {
      try (SSLSocket socket = (SSLSocket) server.accept()) {
        socket.startHandshake();
        System.out.println("session " + socket.getSession().getProtocol() + " " + socket.getSession().getCipherSuite()
                           + " " + socket.getSession().getLocalCertificates()[0].getPublicKey().getAlgorithm());
        System.out.flush();
        InputStream in = socket.getInputStream();
        OutputStream out = socket.getOutputStream();
        int n;
        while ((n = in.read(buffer)) > 0) {
          out.write(buffer, 0, n);
          out.flush();
        }
      } catch (Exception e) {
        System.out.println("connection ended: " + e);
        System.out.flush();
      }
    }
  }
}
