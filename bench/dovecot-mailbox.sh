# The bench mailbox on a Dovecot of its own, for the POP3 and IMAP benches: 255
# messages of about 100 KB (26 MB; base64 attachments, ISO-2022-JP subjects),
# all unseen, for user `bench`, served on 127.0.0.1 only. Sourced by a bench
# script running as root from the top of the tree, after it has set `tools` to
# the programs it needs besides Dovecot's, and `imap=yes` when it wants IMAP
# too, and `push_users=N` for N more users push1..pushN (password $push_pass)
# with one small message each. start_mailbox builds the mailbox, starts Dovecot
# with POP3 on $port (and IMAP on $imap_port) and logs in once so that its
# index is built; the work folder and Dovecot go when the script exits.

messages=255
attachment_bytes=74000 # base64 in 76-column lines makes each message about 100 KB
user=bench
pass=bench-pass
imap=${imap:-}
push_users=${push_users:-0}
push_pass=push-pass
imap_port=0
export LC_ALL=C

die() {
    echo "run: $*" >&2
    exit 1
}
[[ $(id -u) -eq 0 ]] || die "needs root: Dovecot runs from a configuration of its own"
for tool in /usr/sbin/dovecot /usr/lib/dovecot/pop3 ${imap:+/usr/lib/dovecot/imap} /usr/bin/curl \
    /usr/bin/iconv ${tools:-}; do
    [[ -x $tool ]] || die "$tool missing (scripts/setup installs it)"
done
getent passwd dovecot dovenull nobody >/dev/null || die "the dovecot, dovenull and nobody users are needed"

# /tmp and not $TMPDIR: the mail owner must be able to reach its Maildir.
work=$(mktemp -d /tmp/pim-bench-XXXXXX)
chmod 755 "$work"
dovecot_pid=
cleanup() {
    if [[ -n $dovecot_pid ]]; then
        kill -TERM "$dovecot_pid" 2>/dev/null || true
        wait "$dovecot_pid" 2>/dev/null || true
    fi
    # One a bench started again in place of the first (its pid file is Dovecot's own).
    local master
    master=$(cat "$work/run/master.pid" 2>/dev/null || true)
    if [[ $master =~ ^[0-9]+$ ]] && [[ $(cat "/proc/$master/comm" 2>/dev/null) == dovecot ]]; then
        kill -TERM "$master" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- the mailbox -------------------------------------------------------------
jis_word() { printf '=?ISO-2022-JP?B?%s?=' "$(printf '%s' "$1" | iconv -f UTF-8 -t ISO-2022-JP | base64 -w0)"; }

make_mailbox() {
    local maildir=$work/mail/$user/Maildir
    mkdir -p "$maildir"/{cur,new,tmp}
    local topics=("週次営業報告" "経費精算のお願い" "進捗会議の議事録" "新製品カタログ送付" "出張報告書")
    local from body
    from="$(jis_word "営業部 山本 健太") <kenta.yamamoto@example.co.jp>"
    body=$(printf '%s\n' "各位" "" "お疲れさまです。営業部の山本です。" "資料を添付いたしますので、ご確認ください。" \
        "" "よろしくお願いいたします。" | iconv -f UTF-8 -t ISO-2022-JP | sed 's/$/\r/')
    local i subject date
    for ((i = 1; i <= messages; i++)); do
        subject=$(jis_word "【資料】${topics[i % ${#topics[@]}]} 第${i}号")
        TZ=Asia/Tokyo printf -v date '%(%a, %d %b %Y %H:%M:%S %z)T' $((1733011200 + i * 3671))
        # Dovecot numbers new mail in the order of the time stamp in the file name.
        {
            printf 'Return-Path: <kenta.yamamoto@example.co.jp>\r\n'
            printf 'From: %s\r\n' "$from"
            printf 'To: sales-all@example.co.jp\r\n'
            printf 'Subject: %s\r\n' "$subject"
            printf 'Date: %s\r\n' "$date"
            printf 'Message-ID: <bench-%d@example.co.jp>\r\n' "$i"
            printf 'MIME-Version: 1.0\r\n'
            printf 'Content-Type: multipart/mixed;\r\n boundary="----=_Part_%d"\r\n\r\n' "$i"
            printf -- '------=_Part_%d\r\n' "$i"
            printf 'Content-Type: text/plain; charset=ISO-2022-JP\r\n'
            printf 'Content-Transfer-Encoding: 7bit\r\n\r\n'
            printf '%s\r\n\r\n' "$body"
            printf -- '------=_Part_%d\r\n' "$i"
            printf 'Content-Type: application/pdf; name="report-%d.pdf"\r\n' "$i"
            printf 'Content-Transfer-Encoding: base64\r\n'
            printf 'Content-Disposition: attachment; filename="report-%d.pdf"\r\n\r\n' "$i"
            head -c "$attachment_bytes" /dev/urandom | base64 -w 76 | sed 's/$/\r/'
            printf -- '------=_Part_%d--\r\n' "$i"
        } >"$maildir/new/$((1000000000 + i)).M${i}P$$.bench"
    done
    printf '%s:{PLAIN}%s:%d:%d::%s::\n' "$user" "$pass" "$(id -u nobody)" "$(id -g nobody)" \
        "$work/mail/$user" >"$work/passwd"
    local name
    for ((i = 1; i <= push_users; i++)); do
        name=push$i
        mkdir -p "$work/mail/$name/Maildir"/{cur,new,tmp}
        printf 'From: a@example.jp\r\nSubject: first\r\nMessage-ID: <%s-1@example.jp>\r\n\r\nx\r\n' \
            "$name" >"$work/mail/$name/Maildir/new/1000000001.M1P$$.bench"
        printf '%s:{PLAIN}%s:%d:%d::%s::\n' "$name" "$push_pass" "$(id -u nobody)" \
            "$(id -g nobody)" "$work/mail/$name" >>"$work/passwd"
    done
    chown -R nobody:nogroup "$work/mail"
    chown root:dovecot "$work/passwd"
    chmod 640 "$work/passwd"
}

# --- Dovecot from its own configuration ----------------------------------------
write_config() {
    cat >"$work/dovecot.conf" <<EOF
base_dir = $work/run
state_dir = $work/state
log_path = $work/dovecot.log
instance_name = pim-bench
protocols = pop3${imap:+ imap}
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain
first_valid_uid = 100
mail_location = maildir:~/Maildir
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $work/passwd
}
userdb {
  driver = passwd-file
  args = username_format=%u $work/passwd
}
service pop3-login {
  inet_listener pop3 {
    port = $port
  }
  inet_listener pop3s {
    port = 0
  }
}
EOF
    [[ -z $imap ]] || cat >>"$work/dovecot.conf" <<EOF
service imap-login {
  inet_listener imap {
    port = $imap_port
  }
  inet_listener imaps {
    port = 0
  }
}
EOF
}

# Nothing answers on 127.0.0.1:$1.
port_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

start_dovecot() {
    local attempt i
    for attempt in 1 2 3 4 5; do
        port=$((20000 + RANDOM % 40000))
        [[ -z $imap ]] || imap_port=$((20000 + RANDOM % 40000))
        # Something already answers there: try others.
        port_free "$port" || continue
        [[ -z $imap ]] || { [[ $imap_port -ne $port ]] && port_free "$imap_port"; } || continue
        write_config
        /usr/sbin/dovecot -F -c "$work/dovecot.conf" >"$work/dovecot.stderr" 2>&1 &
        dovecot_pid=$!
        for ((i = 0; i < 1000; i++)); do
            if ! kill -0 "$dovecot_pid" 2>/dev/null; then
                wait "$dovecot_pid" 2>/dev/null || true
                dovecot_pid=
                break
            fi
            if ! port_free "$port" && { [[ -z $imap ]] || ! port_free "$imap_port"; }; then
                return 0
            fi
            sleep 0.01
        done
        [[ -z $dovecot_pid ]] || die "Dovecot does not answer on port $port${imap:+ or $imap_port}"
        grep -q "Address already in use" "$work/dovecot.stderr" "$work/dovecot.log" 2>/dev/null ||
            die "Dovecot did not start: $(cat "$work/dovecot.stderr" "$work/dovecot.log" 2>/dev/null)"
    done
    die "no free port found for Dovecot"
}

logins() { grep -c 'Login: user=' "$work/dovecot.log" 2>/dev/null || true; }

# Sets total_bytes, and started, ready and indexed (the times at which Dovecot
# was started, answered, and had its index built).
start_mailbox() {
    echo "Making $messages messages..."
    make_mailbox
    total_bytes=$(find "$work/mail/$user/Maildir/new" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
    started=$EPOCHREALTIME
    start_dovecot
    ready=$EPOCHREALTIME

    # The first login builds Dovecot's index; it must not count against the first run.
    local listed
    listed=$(curl -s -u "$user:$pass" "pop3://127.0.0.1:$port/" | wc -l)
    [[ $listed -eq $messages ]] || die "Dovecot lists $listed messages, expected $messages"
    indexed=$EPOCHREALTIME
}
