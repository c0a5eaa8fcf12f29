#!/bin/bash
# Chains that combine path constraints the way published path-validation
# suites do: nested name constraints in intermediates, constraints carried by
# the root, letter case and leading dots in DNS constraints, excluded inside
# permitted, IPv6 beside IPv4, path lengths counted from the root, usages and
# critical extensions on the root. Made with the openssl command in DIR.
#
# Writes DIR/cases.txt, one case a line:
#   NAME HOST TRUSTED CHAIN RESULT VERDICT
# TRUSTED and CHAIN are comma-separated PEM files in DIR (CHAIN with the
# server's certificate first); RESULT is the chain result code in hex;
# VERDICT is accept or refuse.
# usage: constraint_chains.sh DIR
set -eu
dir=${1:?usage: constraint_chains.sh DIR}
mkdir -p "$dir"
cd "$dir"
quiet() { "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }; }

# Three keys: roots, intermediates, servers.
for k in root inter leaf; do quiet openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out k$k.key; done
key_of() { case $1 in root*) echo kroot.key ;; inter* | sub*) echo kinter.key ;; *) echo kleaf.key ;; esac; }

ca_lines=("basicConstraints=critical,CA:TRUE" "keyUsage=critical,keyCertSign,cRLSign")
leaf_lines=("basicConstraints=CA:FALSE" "keyUsage=digitalSignature,keyEncipherment")
serial=4096

# cert NAME ISSUER COMMON_NAME [EXTENSION_LINE...]; ISSUER "self" makes a root.
cert() {
  local name=$1 issuer=$2 cn=$3
  shift 3
  { echo "[v3]"; printf '%s\n' "$@"; } > "$name.ext"
  quiet openssl req -new -key "$(key_of "$name")" -subj "/O=Dictalo Constraints/CN=$cn" -out "$name.csr"
  serial=$((serial + 1))
  if [ "$issuer" = self ]; then
    quiet openssl x509 -req -in "$name.csr" -signkey "$(key_of "$name")" -set_serial $serial -days 30 -sha256 \
      -extfile "$name.ext" -extensions v3 -out "$name.pem"
  else
    quiet openssl x509 -req -in "$name.csr" -CA "$issuer.pem" -CAkey "$(key_of "$issuer")" -set_serial $serial \
      -days 30 -sha256 -extfile "$name.ext" -extensions v3 -out "$name.pem"
  fi
}
ca() { local name=$1 issuer=$2 cn=$3; shift 3; cert "$name" "$issuer" "$cn" "${ca_lines[@]}" "$@"; }
leaf() { local name=$1 issuer=$2 cn=$3; shift 3; cert "$name" "$issuer" "$cn" "${leaf_lines[@]}" "$@"; }

: > cases.txt
case_line() { echo "$*" >> cases.txt; }

ca root self Constraints-Root

# Nested constraints: each intermediate narrows what the one above allows.
ca inter_outer root Outer "nameConstraints=critical,permitted;DNS:example.test"
ca sub_inner inter_outer Inner "nameConstraints=critical,permitted;DNS:sub.example.test"
leaf nested_ok sub_inner x.sub.example.test "subjectAltName=DNS:x.sub.example.test"
leaf nested_outer_only sub_inner other.example.test "subjectAltName=DNS:other.example.test"
case_line nested_inside_both x.sub.example.test root.pem nested_ok.pem,sub_inner.pem,inter_outer.pem 0 accept
case_line nested_outside_inner other.example.test root.pem nested_outer_only.pem,sub_inner.pem,inter_outer.pem 400 refuse
ca sub_wider inter_outer Wider "nameConstraints=critical,permitted;DNS:other.test"
leaf nested_widened sub_wider mail.other.test "subjectAltName=DNS:mail.other.test"
case_line nested_inner_cannot_widen mail.other.test root.pem nested_widened.pem,sub_wider.pem,inter_outer.pem 400 refuse

# Constraints on the root bind everything below it.
ca root_nc self Constrained-Root "nameConstraints=critical,permitted;DNS:example.test,permitted;IP:127.0.0.0/255.0.0.0"
ca inter_below_root_nc root_nc Below-Constrained-Root
leaf root_nc_ok inter_below_root_nc mail.example.test "subjectAltName=DNS:mail.example.test,IP:127.0.0.1"
leaf root_nc_dns_out inter_below_root_nc mail.evil.test "subjectAltName=DNS:mail.evil.test"
leaf root_nc_ip_out inter_below_root_nc ip "subjectAltName=IP:192.0.2.1"
case_line root_constraints_met mail.example.test root_nc.pem root_nc_ok.pem,inter_below_root_nc.pem 0 accept
case_line root_constraints_dns mail.evil.test root_nc.pem root_nc_dns_out.pem,inter_below_root_nc.pem 400 refuse
case_line root_constraints_ip 192.0.2.1 root_nc.pem root_nc_ip_out.pem,inter_below_root_nc.pem 400 refuse

# Letter case in the constraint and in the name.
ca inter_case root Case "nameConstraints=critical,permitted;DNS:Example.TEST,excluded;DNS:BAD.example.test"
leaf case_ok inter_case MAIL.example.Test "subjectAltName=DNS:MAIL.example.Test"
leaf case_excluded inter_case mail.bad.EXAMPLE.test "subjectAltName=DNS:mail.bad.EXAMPLE.test"
case_line case_insensitive_permitted mail.example.test root.pem case_ok.pem,inter_case.pem 0 accept
case_line case_insensitive_excluded mail.bad.example.test root.pem case_excluded.pem,inter_case.pem 400 refuse

# A leading dot means strictly below.
ca inter_dot root Dot "nameConstraints=critical,permitted;DNS:.example.test"
leaf dot_below inter_dot mail.example.test "subjectAltName=DNS:mail.example.test"
leaf dot_itself inter_dot example.test "subjectAltName=DNS:example.test"
case_line leading_dot_below mail.example.test root.pem dot_below.pem,inter_dot.pem 0 accept
case_line leading_dot_not_itself example.test root.pem dot_itself.pem,inter_dot.pem 400 refuse
ca inter_exdot root ExDot "nameConstraints=critical,excluded;DNS:.evil.test"
leaf exdot_itself inter_exdot evil.test "subjectAltName=DNS:evil.test"
leaf exdot_below inter_exdot www.evil.test "subjectAltName=DNS:www.evil.test"
case_line excluded_leading_dot_itself evil.test root.pem exdot_itself.pem,inter_exdot.pem 0 accept
case_line excluded_leading_dot_below www.evil.test root.pem exdot_below.pem,inter_exdot.pem 400 refuse

# Whole labels only; a final dot changes nothing; a wildcard that could reach
# an excluded host is refused.
ca inter_labels root Labels "nameConstraints=critical,permitted;DNS:example.test,excluded;DNS:bad.example.test"
leaf label_partial inter_labels mail.notexample.test "subjectAltName=DNS:mail.notexample.test"
leaf label_final_dot inter_labels bad.example.test "subjectAltName=DNS:bad.example.test."
leaf label_wildcard inter_labels wild "subjectAltName=DNS:*.example.test"
case_line partial_label_is_outside mail.notexample.test root.pem label_partial.pem,inter_labels.pem 400 refuse
case_line final_dot_still_excluded bad.example.test root.pem label_final_dot.pem,inter_labels.pem 400 refuse
case_line wildcard_reaching_excluded x.example.test root.pem label_wildcard.pem,inter_labels.pem 400 refuse

# Only the forms that have subtrees are limited (the CommonName is a DNS name
# while there is no dNSName entry); both address families count.
ca inter_dns_only root DNS-Only "nameConstraints=critical,permitted;DNS:example.test"
leaf ip_under_dns_only inter_dns_only ip.example.test "subjectAltName=IP:10.0.0.1"
leaf cn_ignored_with_san inter_dns_only evil.test "subjectAltName=DNS:mail.example.test"
case_line ip_free_under_dns_constraints 10.0.0.1 root.pem ip_under_dns_only.pem,inter_dns_only.pem 0 accept
case_line common_name_unused_beside_san mail.example.test root.pem cn_ignored_with_san.pem,inter_dns_only.pem 0 accept
ca inter_v4 root V4 "nameConstraints=critical,permitted;IP:127.0.0.0/255.0.0.0"
leaf v6_beside_v4 inter_v4 ip "subjectAltName=IP:127.0.0.1,IP:::1"
case_line ipv6_outside_ipv4_subtree 127.0.0.1 root.pem v6_beside_v4.pem,inter_v4.pem 400 refuse

# Path length counted from the root down, and usages and critical extensions on the root.
ca root_pl1 self PathLen1-Root "basicConstraints=critical,CA:TRUE,pathlen:1"
ca inter_pl_a root_pl1 PL-A
ca sub_pl_b inter_pl_a PL-B
leaf pl_one inter_pl_a mail.example.test
leaf pl_two sub_pl_b mail.example.test
case_line root_pathlen_one_below mail.example.test root_pl1.pem pl_one.pem,inter_pl_a.pem 0 accept
case_line root_pathlen_two_below mail.example.test root_pl1.pem pl_two.pem,sub_pl_b.pem,inter_pl_a.pem 200 refuse
ca root_eku self Client-Root "extendedKeyUsage=clientAuth"
leaf under_root_eku root_eku mail.example.test
case_line root_client_only mail.example.test root_eku.pem under_root_eku.pem 800 refuse
ca root_crit self Critical-Root "1.3.6.1.4.1.55555.2=critical,ASN1:NULL"
leaf under_root_crit root_crit mail.example.test
case_line root_unknown_critical mail.example.test root_crit.pem under_root_crit.pem 1000 refuse
