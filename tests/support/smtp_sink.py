#!/usr/bin/python3
"""A real SMTP server on loopback that keeps every message it accepts, as SmtpSinkServer
(DovecotServer.h) describes. Usage: smtp_sink.py PORT FOLDER SECONDS [MAIL_DELAY]
"""
import asyncio
import sys
import time
from pathlib import Path

from aiosmtpd.controller import Controller


class Keep:
    def __init__(self, folder, mail_delay):
        self.folder = Path(folder)
        self.count = 0
        self.mail_delay = mail_delay

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        await asyncio.sleep(self.mail_delay)
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        stem = self.folder / str(self.count)
        stem.with_suffix(".eml").write_bytes(envelope.original_content)
        stem.with_suffix(".env").write_text("\n".join([envelope.mail_from] + envelope.rcpt_tos) + "\n")
        return "250 Message accepted for delivery"


def main():
    port, folder, seconds = int(sys.argv[1]), sys.argv[2], float(sys.argv[3])
    mail_delay = float(sys.argv[4]) if len(sys.argv) > 4 else 0
    # No size limit: a benchmark relays a 50 MB message.
    controller = Controller(Keep(folder, mail_delay), hostname="127.0.0.1", port=port,
                            data_size_limit=None)
    controller.start()
    print("ready", flush=True)
    try:
        time.sleep(seconds)
    finally:
        controller.stop()


if __name__ == "__main__":
    main()
