#!/bin/sh
# Packs one HTML page into a single-file web archive (MHTML, RFC 2557):
# make_mht.sh page.html out.mht
set -eu
in=$1
out=$2
boundary="----=_NextPart_Zorvan_Help"
subject=$(printf '%s' 'Zorvan 使用帮助' | base64 | tr -d '\n')
tmp="$out.tmp"
{
  printf 'From: <Saved by Zorvan>\r\n'
  printf 'Subject: =?utf-8?B?%s?=\r\n' "$subject"
  printf 'MIME-Version: 1.0\r\n'
  printf 'Content-Type: multipart/related;\r\n\ttype="text/html";\r\n\tboundary="%s"\r\n' "$boundary"
  printf '\r\n'
  printf 'This is a multi-part message in MIME format.\r\n'
  printf '\r\n--%s\r\n' "$boundary"
  printf 'Content-Type: text/html; charset="utf-8"\r\n'
  printf 'Content-Transfer-Encoding: base64\r\n'
  printf 'Content-Location: file:///help.html\r\n'
  printf '\r\n'
  base64 -w 76 "$in" | sed 's/$/\r/'
  printf '\r\n--%s--\r\n' "$boundary"
} > "$tmp"
mv "$tmp" "$out"
