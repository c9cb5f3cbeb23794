#!/usr/bin/env python3
"""Serves the browser build's page folder on 127.0.0.1, as any static web host would.

  web_server.py PAGE_DIR [--port PORT] [--content-encoding] [--log FILE]

The port is a free one unless given; the first line printed is the page's address. The page
unpacks its .gz files itself, so a plain host sends them as they are (and they travel compressed);
--content-encoding sends them with "Content-Encoding: gzip" instead, as hosts set up to serve
pre-compressed files do, and the browser unpacks them on the way.
"""
import argparse
import functools
import http.server
import sys


class PageHandler(http.server.SimpleHTTPRequestHandler):
    content_encoding = False
    log = None

    def end_headers(self):
        if self.content_encoding and self.path.split("?")[0].endswith(".gz"):
            self.send_header("Content-Encoding", "gzip")
        # Every test and every reload gets the files of the last build.
        self.send_header("Cache-Control", "no-cache")
        super().end_headers()

    def guess_type(self, path):
        if self.content_encoding and str(path).endswith(".gz"):
            return "application/octet-stream"
        if str(path).endswith(".wasm"):
            return "application/wasm"
        return super().guess_type(path)

    def log_message(self, format, *args):
        if self.log:
            self.log.write("%s %s\n" % (self.log_date_time_string(), format % args))
            self.log.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("page")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--content-encoding", action="store_true")
    parser.add_argument("--log")
    options = parser.parse_args()
    PageHandler.content_encoding = options.content_encoding
    PageHandler.log = open(options.log, "a") if options.log else None
    handler = functools.partial(PageHandler, directory=options.page)
    with http.server.ThreadingHTTPServer(("127.0.0.1", options.port), handler) as server:
        print(f"http://127.0.0.1:{server.server_address[1]}/", flush=True)
        try:
            server.serve_forever()
        except KeyboardInterrupt:
            pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
