# shellcheck shell=bash disable=SC2034  # the front_* variables are read by the scripts that source this
# Sourced by the scripts that put Debian's nginx in front of a kalvit-results (bash): HTTPS for
# the sign-in pages of today's browsers, and plain HTTP beside it for the program's upload and
# for the browsers of Windows 98/2000, which cannot speak today's TLS (no redirect between them).
#   start_front BACKEND_PORT FOLDER [HTTPS_PORT HTTP_PORT]  starts an nginx on 127.0.0.1 that
#       passes both servers on to the service on 127.0.0.1:BACKEND_PORT; ports left out (or 0)
#       are free ones. Everything lives in FOLDER: nginx.conf, nginx.pid, error.log, access.log
#       (no queries: an upload address carries a password), the temporary files and a self-signed
#       certificate for localhost and 127.0.0.1 (cert.pem, key.pem), made the first time.
#       Sets front_pid, front_https_port, front_http_port and front_cert. On failure says why
#       and returns 1.
#   stop_front  ends the one started: QUIT (finishing the requests under way), TERM after 10 s,
#       KILL after 15 s; waits for it.

front_nginx=${KALVIT_NGINX:-$(command -v nginx || echo /usr/sbin/nginx)}
front_pid=""
front_https_port=""
front_http_port=""
front_cert=""

# front_free_ports: two ports free on loopback just now.
front_free_ports() {
    python3 -c '
import socket
held = [socket.socket() for _ in range(2)]
for s in held:
    s.bind(("127.0.0.1", 0))
print(*(s.getsockname()[1] for s in held))'
}

# front_certificate FOLDER: the self-signed certificate, made once per folder.
front_certificate() {
    local folder=$1
    [[ -s $folder/cert.pem && -s $folder/key.pem ]] && return 0
    (umask 077 && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
        -keyout "$folder/key.pem" -out "$folder/cert.pem" -days 825 -subj /CN=localhost \
        -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" 2>"$folder/openssl.err") || {
        echo "tls-front: openssl made no certificate:" >&2
        cat "$folder/openssl.err" >&2
        return 1
    }
    chmod 644 "$folder/cert.pem"
}

# front_server PORT [ssl]: one server block; both pass everything on to the service alike.
front_server() {
    local port=$1 ssl=${2:-}
    echo "    server {"
    echo "        listen 127.0.0.1:$port${ssl:+ ssl};"
    if [[ -n $ssl ]]; then
        cat <<EOF
        ssl_certificate $front_cert;
        ssl_certificate_key ${front_cert%/*}/key.pem;
        ssl_protocols TLSv1.2 TLSv1.3;
        ssl_session_cache shared:tls:1m;
EOF
    fi
    cat <<'EOF'
        location / {
            proxy_pass http://kalvit_results;
        }
        # Each of these costs the service a password hash or a stored row.
        location ~ ^/(login|upload|contact|logout|mine/delete)$ {
            limit_req zone=posts burst=30 nodelay;
            proxy_pass http://kalvit_results;
        }
    }
EOF
}

# front_config BACKEND_PORT FOLDER HTTPS_PORT HTTP_PORT: nginx.conf.
front_config() {
    local backend=$1 folder=$2 https=$3 http=$4
    echo "worker_processes 1;"
    echo "daemon off;"
    echo "pid $folder/nginx.pid;"
    echo "error_log $folder/error.log warn;"
    # Run by root, the workers would become nobody, who may not reach a private folder.
    [[ $(id -u) -eq 0 ]] && echo "user $(id -un) $(id -gn);"
    cat <<EOF
events {
    worker_connections 512;
}
http {
    log_format front '\$remote_addr [\$time_local] "\$request_method \$uri" \$status \$body_bytes_sent';
    access_log $folder/access.log front;
    client_body_temp_path $folder/temp/body;
    proxy_temp_path $folder/temp/proxy;
    fastcgi_temp_path $folder/temp/fastcgi;
    uwsgi_temp_path $folder/temp/uwsgi;
    scgi_temp_path $folder/temp/scgi;
    server_tokens off;
    default_type application/octet-stream;

    client_max_body_size 64k;
    client_body_buffer_size 64k;
    client_header_buffer_size 1k;
    large_client_header_buffers 4 8k;
    client_header_timeout 10s;
    client_body_timeout 10s;
    send_timeout 30s;
    keepalive_timeout 30s;
    keepalive_requests 1000;
    limit_conn_zone \$binary_remote_addr zone=per_address:1m;
    limit_req_zone \$binary_remote_addr zone=posts:1m rate=2r/s;
    limit_conn per_address 20;
    limit_conn_status 429;
    limit_req_status 429;

    upstream kalvit_results {
        server 127.0.0.1:$backend;
        keepalive 16;
    }
    proxy_http_version 1.1;
    proxy_set_header Connection "";
    # The service compares a POST's Origin with the Host it gets: the one the browser sent.
    proxy_set_header Host \$http_host;
    proxy_set_header X-Forwarded-For \$proxy_add_x_forwarded_for;
    proxy_set_header X-Forwarded-Proto \$scheme;
    proxy_connect_timeout 5s;
    proxy_send_timeout 30s;
    proxy_read_timeout 60s;

EOF
    front_server "$https" ssl
    front_server "$http"
    echo "}"
}

# front_answers PORT: whether something accepts connections on 127.0.0.1:PORT.
front_answers() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

start_front() {
    local backend=$1 folder=$2 https=${3:-0} http=${4:-0} attempt pid
    mkdir -p "$folder/temp"
    folder=$(cd "$folder" && pwd)
    front_cert=$folder/cert.pem
    front_certificate "$folder" || return 1
    # Ports picked here may be taken before nginx binds them: then again with others.
    for attempt in 1 2 3 4 5; do
        if [[ ${3:-0} == 0 || ${4:-0} == 0 ]]; then
            read -r https http < <(front_free_ports)
        fi
        front_config "$backend" "$folder" "$https" "$http" >"$folder/nginx.conf"
        rm -f "$folder/nginx.pid"
        "$front_nginx" -p "$folder" -c "$folder/nginx.conf" -e "$folder/error.log" </dev/null \
            >"$folder/nginx.out" 2>&1 &
        front_pid=$!
        front_https_port=$https
        front_http_port=$http
        for _ in $(seq 300); do
            pid=$(cat "$folder/nginx.pid" 2>/dev/null || true)
            if [[ $pid == "$front_pid" ]] && front_answers "$https" && front_answers "$http"; then
                return 0
            fi
            kill -0 "$front_pid" 2>/dev/null || break
            sleep 0.1
        done
        stop_front
        if [[ ${3:-0} != 0 && ${4:-0} != 0 ]] ||
            ! grep -qs "Address already in use" "$folder/nginx.out" "$folder/error.log"; then
            break
        fi
    done
    echo "tls-front: nginx did not serve 127.0.0.1:$https and :$http within 30 s:" >&2
    tail -n 20 "$folder/nginx.out" "$folder/error.log" >&2
    return 1
}

# shellcheck disable=SC2317  # also run from EXIT traps
stop_front() {
    local pid=$front_pid waited=0
    front_pid=""
    [[ -n $pid ]] || return 0
    kill -QUIT "$pid" 2>/dev/null || true
    while kill -0 "$pid" 2>/dev/null && [[ $waited -lt 150 ]]; do
        [[ $waited -eq 100 ]] && kill -TERM "$pid" 2>/dev/null
        sleep 0.1
        waited=$((waited + 1))
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
