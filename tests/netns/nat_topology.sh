#!/bin/bash
# Builds small NAT topologies out of network namespaces, veth pairs and
# iptables, for tests that need real address translation (NAT detection, hole
# punching, relay fallback).
#
#   nat_topology.sh check
#       exit 0 when namespaces, veth pairs and iptables NAT (MASQUERADE with
#       --random-fully, DNAT) work here; otherwise print why and exit 1.
#   nat_topology.sh public PREFIX
#       namespace PREFIXpub: a bridge br0 carrying the public network
#       203.0.113.0/24 with the two server addresses 203.0.113.1 (A) and
#       203.0.113.2 (B).
#   nat_topology.sh site PREFIX N MODE [PORT]
#       site N (1 to 14) behind its own router: namespace PREFIXrN (router,
#       public address 203.0.113.(100+N) on wan0) and PREFIXhN (inside host
#       192.0.2.(16N+2)/28 on eth0, default route via the router). MODE:
#         none        plain routing, the host's own address is public
#         masquerade  MASQUERADE: one mapping per inside port, replies only
#                     from the address and port that were sent to
#         random      MASQUERADE --random-fully: a new mapping per destination
#         fullcone    MASQUERADE plus a DNAT of all UDP arriving on the public
#                     side (or only on PORT when given) to the inside host
#         block       MASQUERADE for TCP, every forwarded UDP datagram dropped
#   nat_topology.sh down PREFIX
#       removes every namespace whose name starts with PREFIX.
#   nat_topology.sh reap
#       removes the namespaces of test runs whose process has gone
#       (names "zvn<pid>-...").
#
# Each command that builds something prints shell assignments describing it
# (PUBLIC_NS=..., SERVER_A=..., HOST_NS=..., HOST_ADDR=...).
set -euo pipefail

die() { echo "nat_topology: $*" >&2; exit 1; }

check_prefix() {
    [[ "$1" =~ ^[a-z][a-z0-9-]{2,24}$ ]] || die "bad prefix '$1' (lower-case letters, digits, '-'; 3 to 25 characters)"
}

list_ns() { ip netns list 2>/dev/null | awk '{print $1}'; }

cmd_check() {
    command -v ip >/dev/null || die "the ip command is missing"
    command -v iptables >/dev/null || die "iptables is missing"
    local ns="zvcheck$$"
    ip netns add "$ns" 2>/dev/null || die "cannot create network namespaces (not root, or no CAP_SYS_ADMIN)"
    local ok=1
    if ! ip -n "$ns" link add c0 type veth peer name c1 2>/dev/null; then
        echo "nat_topology: veth pairs are not available" >&2; ok=0
    elif ! ip netns exec "$ns" iptables -t nat -A POSTROUTING -o c0 -j MASQUERADE 2>/dev/null; then
        echo "nat_topology: iptables MASQUERADE does not work ($(iptables --version))" >&2; ok=0
    elif ! ip netns exec "$ns" iptables -t nat -A POSTROUTING -o c0 -j MASQUERADE --random-fully 2>/dev/null; then
        echo "nat_topology: iptables MASQUERADE --random-fully does not work ($(iptables --version))" >&2; ok=0
    elif ! ip netns exec "$ns" iptables -t nat -A PREROUTING -i c0 -p udp -j DNAT --to-destination 192.0.2.2 2>/dev/null; then
        echo "nat_topology: iptables DNAT does not work ($(iptables --version))" >&2; ok=0
    fi
    ip netns del "$ns"
    [ "$ok" = 1 ]
}

cmd_public() {
    local prefix="$1"; check_prefix "$prefix"
    local pub="${prefix}pub"
    ip netns add "$pub"
    ip -n "$pub" link set lo up
    ip -n "$pub" link add br0 type bridge
    ip -n "$pub" addr add 203.0.113.1/24 dev br0
    ip -n "$pub" addr add 203.0.113.2/24 dev br0
    ip -n "$pub" link set br0 up
    echo "PUBLIC_NS=$pub"
    echo "SERVER_A=203.0.113.1"
    echo "SERVER_B=203.0.113.2"
}

cmd_site() {
    local prefix="$1" n="$2" mode="$3" port="${4:-}"
    check_prefix "$prefix"
    [[ "$n" =~ ^[0-9]+$ ]] && [ "$n" -ge 1 ] && [ "$n" -le 14 ] || die "site number must be 1 to 14"
    [ -z "$port" ] || [[ "$port" =~ ^[0-9]+$ ]] || die "bad port '$port'"
    local pub="${prefix}pub" router="${prefix}r$n" host="${prefix}h$n"
    list_ns | grep -qx "$pub" || die "no public namespace $pub (run 'public $prefix' first)"
    local wan="203.0.113.$((100 + n))"
    local net="192.0.2.$((16 * n))" gw="192.0.2.$((16 * n + 1))" addr="192.0.2.$((16 * n + 2))"

    ip netns add "$router"
    ip netns add "$host"
    ip -n "$router" link set lo up
    ip -n "$host" link set lo up

    ip -n "$pub" link add "p$n" type veth peer name wan0 netns "$router"
    ip -n "$pub" link set "p$n" master br0
    ip -n "$pub" link set "p$n" up
    ip -n "$router" addr add "$wan/24" dev wan0
    ip -n "$router" link set wan0 up

    ip -n "$router" link add lan0 type veth peer name eth0 netns "$host"
    ip -n "$router" addr add "$gw/28" dev lan0
    ip -n "$router" link set lan0 up
    ip -n "$host" addr add "$addr/28" dev eth0
    ip -n "$host" link set eth0 up
    ip -n "$host" route add default via "$gw"

    ip netns exec "$router" sysctl -qw net.ipv4.ip_forward=1
    local ipt=(ip netns exec "$router" iptables)
    case "$mode" in
        none)
            ip -n "$pub" route add "$net/28" via "$wan"
            ;;
        masquerade)
            "${ipt[@]}" -t nat -A POSTROUTING -o wan0 -j MASQUERADE
            ;;
        random)
            "${ipt[@]}" -t nat -A POSTROUTING -o wan0 -j MASQUERADE --random-fully
            ;;
        fullcone)
            "${ipt[@]}" -t nat -A POSTROUTING -o wan0 -j MASQUERADE
            if [ -n "$port" ]; then
                "${ipt[@]}" -t nat -A PREROUTING -i wan0 -p udp --dport "$port" -j DNAT --to-destination "$addr:$port"
            else
                "${ipt[@]}" -t nat -A PREROUTING -i wan0 -p udp -j DNAT --to-destination "$addr"
            fi
            ;;
        block)
            "${ipt[@]}" -t nat -A POSTROUTING -o wan0 -j MASQUERADE
            "${ipt[@]}" -A FORWARD -p udp -j DROP
            ;;
        *)
            die "unknown mode '$mode'"
            ;;
    esac
    echo "ROUTER_NS=$router"
    echo "HOST_NS=$host"
    echo "HOST_ADDR=$addr"
    echo "ROUTER_PUBLIC=$wan"
}

cmd_down() {
    local prefix="$1"; check_prefix "$prefix"
    local ns
    for ns in $(list_ns | grep "^${prefix}" || true); do
        ip netns del "$ns" 2>/dev/null || true
    done
}

cmd_reap() {
    local ns pid
    for ns in $(list_ns | grep -E '^zvn[0-9]+-' || true); do
        pid="${ns#zvn}"; pid="${pid%%-*}"
        if ! kill -0 "$pid" 2>/dev/null; then
            ip netns del "$ns" 2>/dev/null || true
        fi
    done
}

[ $# -ge 1 ] || die "usage: $0 check|public|site|down|reap ..."
command="$1"; shift
case "$command" in
    check) cmd_check ;;
    public) [ $# -eq 1 ] || die "usage: public PREFIX"; cmd_public "$1" ;;
    site) [ $# -ge 3 ] || die "usage: site PREFIX N MODE [PORT]"; cmd_site "$@" ;;
    down) [ $# -eq 1 ] || die "usage: down PREFIX"; cmd_down "$1" ;;
    reap) cmd_reap ;;
    *) die "unknown command '$command'" ;;
esac
