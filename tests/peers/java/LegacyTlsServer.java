// A TLS echo server on the JDK's own TLS stack, the one peer here that still
// speaks SSL 3.0, single DES and accepts an SSL 2.0-format hello.
//
// java -Djava.security.properties=legacy.security LegacyTlsServer.java
//     PORT KEYSTORE.p12 PASSWORD PROTOCOLS SUITES [TRUST.p12]
// PROTOCOLS and SUITES are comma-separated JDK names. With TRUST.p12 the
// server requires a client certificate issued by one of its entries.
// Prints "ready" once it listens on 127.0.0.1:PORT; serves connections one
// at a time, echoing every byte, until it is killed.

import java.io.FileInputStream;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetAddress;
import java.security.KeyStore;
import javax.net.ssl.KeyManagerFactory;
import javax.net.ssl.SSLContext;
import javax.net.ssl.SSLServerSocket;
import javax.net.ssl.SSLSocket;
import javax.net.ssl.TrustManagerFactory;

public class LegacyTlsServer {
  public static void main(String[] args) throws Exception {
    int port = Integer.parseInt(args[0]);
    char[] password = args[2].toCharArray();
    KeyStore keys = KeyStore.getInstance("PKCS12");
    try (FileInputStream in = new FileInputStream(args[1])) {
      keys.load(in, password);
    }
    KeyManagerFactory kmf = KeyManagerFactory.getInstance(KeyManagerFactory.getDefaultAlgorithm());
    kmf.init(keys, password);
    TrustManagerFactory tmf = null;
    if (args.length > 5) {
      KeyStore trust = KeyStore.getInstance("PKCS12");
      try (FileInputStream in = new FileInputStream(args[5])) {
        trust.load(in, password);
      }
      tmf = TrustManagerFactory.getInstance(TrustManagerFactory.getDefaultAlgorithm());
      tmf.init(trust);
    }
    SSLContext context = SSLContext.getInstance("TLS");
    context.init(kmf.getKeyManagers(), tmf == null ? null : tmf.getTrustManagers(), null);
    SSLServerSocket server = (SSLServerSocket) context.getServerSocketFactory()
        .createServerSocket(port, 8, InetAddress.getByName("127.0.0.1"));
    server.setEnabledProtocols(args[3].split(","));
    server.setEnabledCipherSuites(args[4].split(","));
    if (tmf != null) server.setNeedClientAuth(true);
    System.out.println("ready");
    System.out.flush();
    byte[] buffer = new byte[16384];
    while (true) {
      try (SSLSocket socket = (SSLSocket) server.accept()) {
        socket.startHandshake();
        System.out.println("session " + socket.getSession().getProtocol() + " " + socket.getSession().getCipherSuite());
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
