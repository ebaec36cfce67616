#!/usr/bin/env python3
"""A small WAP origin server for the network client's tests.

Listens on 127.0.0.1 on a free port, prints the port on its first line of
output, and serves until its standard input is closed (or for at most
--lifetime seconds), so that it never outlives the test that started it.
"""
import argparse
import http.server
import sys
import threading
import time
import urllib.parse

# A deck in windows-1251 ("Привет" in its text), and the same deck without an
# XML declaration's charset help from the response.
DECK_1251 = ('<?xml version="1.0" encoding="windows-1251"?>\n'
             '<!DOCTYPE wml PUBLIC "-//WAPFORUM//DTD WML 1.1//EN" '
             '"http://www.wapforum.org/DTD/wml_1.1.xml">\n'
             '<wml><card id="c"><p>Привет</p></card></wml>\n').encode('cp1251')
# WBXML 1.3, WML 1.1, UTF-8, no string table: <wml><card><p>Hi</p></card></wml>
WMLC = bytes([0x03, 0x04, 0x6A, 0x00, 0x7F, 0x67, 0x60, 0x03]) + b'Hi\x00' + bytes([1, 1, 1])
# A 8x1 WBMP (type 0) of black and white pixels.
WBMP = bytes([0x00, 0x00, 0x08, 0x01, 0xAA])
SCRIPT = bytes([0x01, 0x6A, 0x00, 0x00])
LOG = None  # the file named by --log
STEP = 0.05  # seconds between checks of a slow response
SLOW_LIMIT = 30.0  # a slow response never lasts longer than this


class Recorder:
    """Keeps every byte of the request the handler reads."""

    def __init__(self, stream):
        self.stream = stream
        self.data = bytearray()

    def readline(self, *args):
        line = self.stream.readline(*args)
        self.data += line
        return line

    def read(self, *args):
        chunk = self.stream.read(*args)
        self.data += chunk
        return chunk

    def close(self):
        self.stream.close()


class Handler(http.server.BaseHTTPRequestHandler):
    def setup(self):
        super().setup()
        self.rfile = Recorder(self.rfile)

    def log_message(self, *args):
        pass

    def reply(self, status, body=b'', content_type=None, headers=()):
        self.send_response(status)
        if content_type:
            self.send_header('Content-Type', content_type)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        self.route()

    def do_POST(self):
        self.route()

    def route(self):
        if LOG:
            with open(LOG, 'a') as log:
                log.write('%s %s\n' % (self.command, self.path))
        length = int(self.headers.get('Content-Length', '0'))
        body = self.rfile.read(length) if length else b''
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        parts = url.path.strip('/').split('/')
        name = parts[0]
        if name == 'echo':
            self.reply(200, bytes(self.rfile.data), 'text/plain')
        elif name == 'deck1251':
            self.reply(200, DECK_1251, 'text/vnd.wap.wml; charset=windows-1251')
        elif name == 'deck-declared':
            self.reply(200, DECK_1251, 'text/vnd.wap.wml')
        elif name == 'deck-koi8':
            self.reply(200, 'Привет'.encode('koi8-r'), 'text/vnd.wap.wml; charset="KOI8-R"')
        elif name == 'wmlc':
            self.reply(200, WMLC, 'application/vnd.wap.wmlc')
        elif name == 'wbmp':
            self.reply(200, WBMP, 'image/vnd.wap.wbmp')
        elif name == 'script':
            self.reply(200, SCRIPT, 'application/vnd.wap.wmlscriptc')
        elif name == 'html':
            self.reply(200, b'<html></html>', 'text/html; charset=utf-8')
        elif name == 'missing':
            self.reply(404, b'<html>no</html>', 'text/html')
        elif name == 'redirect':
            # /redirect/CODE?to=PATH
            self.reply(int(parts[1]), b'', 'text/plain', [('Location', query['to'])])
        elif name == 'chain':
            # /chain/N: N redirects, then the echo of the last request.
            left = int(parts[1])
            if left == 0:
                self.reply(200, bytes(self.rfile.data), 'text/plain')
            else:
                self.reply(302, b'', None, [('Location', '/chain/%d' % (left - 1))])
        elif name == 'setcookie':
            self.reply(200, b'set', 'text/plain',
                       [('Set-Cookie', 'session=s%s; Path=/' % query.get('v', '1'))])
        elif name == 'big':
            # /big?n=BYTES&type=TYPE[&length=no]
            size = int(query['n'])
            self.send_response(200)
            self.send_header('Content-Type', query.get('type', 'application/octet-stream'))
            if query.get('length') != 'no':
                self.send_header('Content-Length', str(size))
            self.end_headers()
            chunk = b'x' * 65536
            try:
                while size > 0:
                    self.wfile.write(chunk[:size])
                    size -= min(size, len(chunk))
            except OSError:
                pass  # the client stopped reading, as it should
        elif name == 'truncated':
            # Promises 100 bytes, sends 10 and closes the connection.
            self.send_response(200)
            self.send_header('Content-Type', 'text/vnd.wap.wml')
            self.send_header('Content-Length', '100')
            self.end_headers()
            self.wfile.write(b'<wml></wml')
            self.close_connection = True
        elif name == 'site':
            self.site(parts[1] if len(parts) > 1 else '', url.query, body)
        elif name == 'slow':
            # Headers at once, then a byte now and then until SLOW_LIMIT.
            self.send_response(200)
            self.send_header('Content-Type', 'text/vnd.wap.wml')
            self.send_header('Content-Length', '100000')
            self.end_headers()
            self.trickle()
        elif name == 'slow-headers':
            self.trickle(before_headers=True)
        else:
            self.reply(404, b'', 'text/plain')

    def site(self, page, query, body):
        """A small WAP site for the user agent's tests: decks that link to
        each other by relative addresses, a picture, a form that answers what
        it received (and sets a cookie), decks with access elements, a
        redirect and a compiled deck."""
        head = '<?xml version="1.0"?>\n'
        deck_type = 'text/vnd.wap.wml'
        if page == 'start':
            deck = (head + '<wml><card id="s" title="Start"><p>'
                    '<img src="pic.wbmp" alt="PIC"/>'
                    '<a href="form?via=link">form</a>'
                    '<a href="/site/guarded">guarded</a>'
                    '<a href="open#second">open</a>'
                    '<a href="file:///etc/hostname">local</a>'
                    '<a href="redirect">moved</a>'
                    '<a href="compiled">compiled</a>'
                    '<anchor>post<go href="form" method="post">'
                    '<postfield name="name" value="$(name)"/></go></anchor>'
                    '</p></card></wml>')
            self.reply(200, deck.encode(), deck_type)
        elif page == 'pic.wbmp':
            self.reply(200, WBMP, 'image/vnd.wap.wbmp')
        elif page == 'form':
            cookie = self.headers.get('Cookie', '')
            text = 'method=%s query=%s body=%s cookie=%s' % (
                self.command, query, body.decode('latin-1'), cookie)
            deck = (head + '<wml><card id="f"><p>' +
                    text.replace('&', '&amp;').replace('$', '$$') +
                    '</p></card></wml>')
            self.reply(200, deck.encode(), deck_type, [('Set-Cookie', 'visit=1; Path=/site')])
        elif page == 'guarded':
            deck = (head + '<wml><head><access domain="example.com"/></head>'
                    '<card id="g"><p>guarded</p></card></wml>')
            self.reply(200, deck.encode(), deck_type)
        elif page == 'open':
            deck = (head + '<wml><head><access path="/site"/></head>'
                    '<card id="first"><p>first</p></card>'
                    '<card id="second"><p>second</p></card></wml>')
            self.reply(200, deck.encode(), deck_type)
        elif page == 'redirect':
            self.reply(302, b'', None, [('Location', '/site/form?moved=yes')])
        elif page == 'compiled':
            self.reply(200, WMLC, 'application/vnd.wap.wmlc')
        else:
            self.reply(404, b'', 'text/plain')

    def trickle(self, before_headers=False):
        start = time.monotonic()
        try:
            while time.monotonic() - start < SLOW_LIMIT and not STOP.is_set():
                if not before_headers:
                    self.wfile.write(b' ')
                    self.wfile.flush()
                time.sleep(STEP)
        except OSError:
            # The client went away (a cancelled request): the log says so.
            if LOG:
                with open(LOG, 'a') as log:
                    log.write('GONE %s\n' % self.path)


STOP = threading.Event()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--lifetime', type=float, default=600)
    parser.add_argument('--log', help='appends "METHOD PATH" of each request to this file')
    parser.add_argument('--tls', nargs=2, metavar=('CERT', 'KEY'),
                        help='serves HTTPS with this certificate chain and key')
    args = parser.parse_args()
    global LOG
    LOG = args.log
    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
    server.daemon_threads = True
    if args.tls:
        import ssl
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls[0], args.tls[1])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)

    def stop():
        STOP.set()
        server.shutdown()

    def watch_stdin():
        sys.stdin.read()
        stop()

    threading.Thread(target=watch_stdin, daemon=True).start()
    timer = threading.Timer(args.lifetime, stop)
    timer.daemon = True
    timer.start()
    server.serve_forever(poll_interval=0.1)
    server.server_close()


if __name__ == '__main__':
    main()
