#!/usr/bin/env bash
# Starts zorvan-server on loopback with a few indexed resources and takes a
# screenshot of its search portal with headless Chromium.
#   scripts/portal-screenshot.sh [zorvan-server executable] [output.png] [query]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
exe="${1:-$here/build/server/zorvan-server}"
out="${2:-$here/docs/server-portal.png}"
query="${3:-数学}"
base=$(( 41000 + RANDOM % 20000 ))
tcp=$base udp=$((base + 2)) relay=$((base + 6)) http=$((base + 7))
work="$(mktemp -d)"
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT

"$exe" --data-dir "$work/data" --tcp-port $tcp --udp-port $udp --relay-port $relay --http-port $http \
  >"$work/server.log" 2>&1 &
pid=$!
for _ in $(seq 100); do grep -q '\[server\] ready' "$work/server.log" && break; sleep 0.1; done
grep -q '\[server\] ready' "$work/server.log" || { cat "$work/server.log"; exit 1; }

# Registers a computer and announces a few resources, speaking the control
# channel's scrambled framing.
python3 - "$tcp" <<'PY'
import socket, sys
port = int(sys.argv[1])
s = socket.create_connection(("127.0.0.1", port))
buf = b""
while b"|\r\n" not in buf:
    buf += s.recv(4096)
key = int(buf.split(b"\r\n")[1])
k = key & 0xFF
h = int(key / 2) & 0xFF
def scramble(b): return bytes((~(((p + k) & 0xFF) ^ k ^ h)) & 0xFF for p in b)
def unscramble(b): return bytes(((((~c) & 0xFF) ^ h ^ k) - k) & 0xFF for c in b)
def send(fields):
    s.sendall(scramble("".join(f + "\r\n" for f in fields + ["|"]).encode("gb18030")))
def recv():
    data = b""
    while not unscramble(data).endswith(b"|\r\n"):
        data += s.recv(65536)
    return unscramble(data).decode("gb18030").split("\r\n")[:-2]
send(["CF_LOGIN0.3", "46000!1!0!0!", "127.0.0.1", "1"])
cid = recv()[1]
rows = [
    ("一元一次方程 同步练习.doc", 50688, "50688!317419!15998!0!", "七年级", 5, "初中", "数学", "解一元一次方程", "人民教育出版社", "第三章 一元一次方程", "3.2 解方程", "试卷", ["含详细答案与评分标准", "适合课后巩固"]),
    ("勾股定理 探究课件.ppt", 2457600, "2457600!-1200!3301!0!", "八年级", 4, "初中", "数学", "勾股定理", "人民教育出版社", "第十七章 勾股定理", "17.1", "课件", ["动画演示赵爽弦图"]),
    ("函数的单调性 教案.doc", 83456, "83456!9123!-77!0!", "高一", 3, "高中", "数学", "函数单调性", "北京师范大学出版社", "第二章 函数", "2.3", "教案", []),
    ("三角形内角和 微课.mp4", 31457280, "31457280!402!-9!0!", "四年级", 0, "小学", "数学", "三角形内角和", "苏教版", "第七单元 三角形", "", "视频", ["8 分钟微课，配学习任务单"]),
    ("概率初步 单元测试卷.pdf", 412000, "412000!55!66!0!", "九年级", 2, "初中", "数学", "概率", "人民教育出版社", "第二十五章 概率初步", "25.1", "试卷", []),
]
fields = ["C_UPDATE0.5", "computer", cid, "3"]
for (name, size, code, grade, score, phase, subject, ken, pub, zhang, jie, sort, resume) in rows:
    fields += [name, str(size), code, grade, "10000", "1", sort, phase, subject, ken, pub, zhang, jie, str(len(resume))] + resume + ["", str(score)]
send(fields)
assert recv()[0] == "s_c_update_reply0.5"
PY

url="http://127.0.0.1:$http/?q=$(python3 -c 'import sys,urllib.parse;print(urllib.parse.quote(sys.argv[1]))' "$query")"
mkdir -p "$(dirname "$out")"
/usr/bin/chromium --headless --no-sandbox --disable-gpu --disable-background-networking --disable-component-update \
  --no-first-run --disable-sync --user-data-dir="$work/chromium" --hide-scrollbars \
  --window-size=1200,800 --screenshot="$out" "$url" >/dev/null 2>&1
echo "portal screenshot: $out ($url)"
