"""A private CUPS scheduler for tests and for trying printing by hand.

It runs /usr/sbin/cupsd in the foreground with its own configuration, socket,
spool and logs under one folder (never the machine's own), and adds a receipt
queue whose device is a file in that folder: 203 dpi, 80 mm paper with 72 mm
printable, documents passed through unchanged. Point the service at it with
CUPS_SERVER=<folder>/cups.sock.

By hand:  /usr/bin/python3 tests/e2e/testcups.py /tmp/zentavo-cups   (Ctrl-C stops it)
"""

import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

CUPSD = "/usr/sbin/cupsd"
LPADMIN = "/usr/sbin/lpadmin"
QUEUE = "Recibo"

CUPSD_CONF = """LogLevel info
Listen {dir}/cups.sock
Browsing No
BrowseLocalProtocols none
WebInterface No
DefaultAuthType None
PreserveJobHistory Yes
MaxJobs 0
ErrorPolicy abort-job
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  JobPrivateAccess all
  JobPrivateValues none
  SubscriptionPrivateAccess all
  SubscriptionPrivateValues none
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
"""

CUPS_FILES_CONF = """ServerRoot {dir}/etc
RequestRoot {dir}/spool
TempDir {dir}/spool/tmp
CacheDir {dir}/cache
StateDir {dir}/state
AccessLog {dir}/log/access_log
ErrorLog {dir}/log/error_log
PageLog {dir}/log/page_log
Printcap {dir}/printcap
FileDevice Yes
SystemGroup root
"""

# A receipt printer: 203 dpi, an 80 mm roll with 4 mm margins. PDF goes
# through unchanged ("gziptoany" only copies), so the device file holds the
# very document the service sent.
RECEIPT_PPD = """*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "RECIBO.PPD"
*Manufacturer: "Zentavo"
*Product: "(Receipt Test Printer)"
*ModelName: "Zentavo Receipt Test Printer"
*ShortNickName: "Zentavo Receipt Test Printer"
*NickName: "Zentavo Receipt Test Printer"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsVersion: 2.4
*cupsFilter2: "application/pdf application/vnd.cups-pdf 0 gziptoany"
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: X80MMY200MM
*PageSize X80MMY200MM/80 x 200 mm: "<</PageSize[226.77 566.93]>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: X80MMY200MM
*PageRegion X80MMY200MM/80 x 200 mm: "<</PageSize[226.77 566.93]>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: X80MMY200MM
*ImageableArea X80MMY200MM/80 x 200 mm: "11.34 0 215.43 566.93"
*DefaultPaperDimension: X80MMY200MM
*PaperDimension X80MMY200MM/80 x 200 mm: "226.77 566.93"
*OpenUI *Resolution/Resolution: PickOne
*OrderDependency: 10 AnySetup *Resolution
*DefaultResolution: 203dpi
*Resolution 203dpi/203 DPI: "<</HWResolution[203 203]>>setpagedevice"
*CloseUI: *Resolution
"""


def make():
    """A scheduler in a new folder under /tmp, reachable by the scheduler's
    own user (test frameworks keep their folders private)."""
    return TestCups(tempfile.mkdtemp(prefix="zentavo-cups-", dir="/tmp"))


def available():
    return all(os.path.exists(p) for p in (CUPSD, LPADMIN, "/usr/lib/cups/filter/gziptoany"))


class TestCups:
    """One private scheduler. start() returns once its socket answers."""

    def __init__(self, folder):
        self.dir = os.path.abspath(folder)
        self.socket = os.path.join(self.dir, "cups.sock")
        self.device = os.path.join(self.dir, "out", QUEUE.lower() + ".prn")
        self.proc = None

    def env(self):
        env = dict(os.environ)
        env["CUPS_SERVER"] = self.socket
        return env

    def start(self):
        for sub in ("etc/ppd", "spool/tmp", "cache", "state", "log", "out"):
            os.makedirs(os.path.join(self.dir, sub), exist_ok=True)
        # The scheduler's filters run as its own user: they must reach the
        # spool, so the folder lives where that user can pass (see make()).
        os.chmod(self.dir, 0o711)
        etc = os.path.join(self.dir, "etc")
        with open(os.path.join(etc, "cupsd.conf"), "w") as f:
            f.write(CUPSD_CONF.format(dir=self.dir))
        with open(os.path.join(etc, "cups-files.conf"), "w") as f:
            f.write(CUPS_FILES_CONF.format(dir=self.dir))
        ppd = os.path.join(self.dir, "recibo.ppd")
        with open(ppd, "w") as f:
            f.write(RECEIPT_PPD)
        self.console = open(os.path.join(self.dir, "log", "console"), "ab")
        self.proc = subprocess.Popen(
            [CUPSD, "-f", "-c", os.path.join(etc, "cupsd.conf"), "-s", os.path.join(etc, "cups-files.conf")],
            stdout=self.console, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + 15
        while not self._answers():
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("cupsd did not start:\n" + self.error_log())
            time.sleep(0.05)
        subprocess.run([LPADMIN, "-p", QUEUE, "-E", "-v", "file://" + self.device, "-P", ppd],
                       env=self.env(), check=True, capture_output=True)
        return self

    def _answers(self):
        try:
            with socket.socket(socket.AF_UNIX) as s:
                s.connect(self.socket)
            return True
        except OSError:
            return False

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        if self.proc:
            self.console.close()
        self.proc = None

    def remove(self):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def error_log(self):
        try:
            with open(os.path.join(self.dir, "log", "error_log"), errors="replace") as f:
                return f.read()[-4000:]
        except FileNotFoundError:
            return ""

    def device_bytes(self):
        try:
            with open(self.device, "rb") as f:
                return f.read()
        except FileNotFoundError:
            return b""

    def jobs(self):
        """Every job of the queue (completed ones included), oldest first, as
        dicts of job-id, job-name, job-state and document-format-supplied."""
        attrs = ["job-id", "job-name", "job-state", "document-format-supplied"]
        reply = ipp_request(self.socket, 0x000A, [
            (0x45, "printer-uri", "ipp://localhost/printers/" + QUEUE),
            (0x44, "which-jobs", "all"),
        ] + [(0x44, "requested-attributes", a) for a in attrs])
        return sorted(reply, key=lambda j: j.get("job-id", 0))


# --- a minimal IPP client (RFC 8010): enough for Get-Jobs ------------------

def _attr(tag, name, value):
    v = value.encode() if isinstance(value, str) else value
    return struct.pack(">BH", tag, len(name)) + name.encode() + struct.pack(">H", len(v)) + v


def ipp_request(sock_path, operation, attributes):
    body = struct.pack(">BBHI", 2, 0, operation, 1) + b"\x01"
    body += _attr(0x47, "attributes-charset", "utf-8")
    body += _attr(0x48, "attributes-natural-language", "en")
    last = None
    for tag, name, value in attributes:
        body += _attr(tag, "" if name == last else name, value)  # repeated: additional value
        last = name
    body += b"\x03"
    head = ("POST / HTTP/1.1\r\nHost: localhost\r\nContent-Type: application/ipp\r\n"
            "Content-Length: %d\r\nConnection: close\r\n\r\n" % len(body)).encode()
    with socket.socket(socket.AF_UNIX) as s:
        s.settimeout(10)
        s.connect(sock_path)
        s.sendall(head + body)
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    header, _, payload = data.partition(b"\r\n\r\n")
    if b"chunked" in header.lower():
        payload = _unchunk(payload)
    return _parse_jobs(payload)


def _unchunk(data):
    out = b""
    while data:
        line, _, rest = data.partition(b"\r\n")
        size = int(line.split(b";")[0], 16)
        if size == 0:
            break
        out += rest[:size]
        data = rest[size + 2:]
    return out


def _parse_jobs(payload):
    status = struct.unpack(">H", payload[2:4])[0]
    if status >= 0x0400:
        raise RuntimeError("IPP status 0x%04x" % status)
    i = 8
    jobs, job, name = [], None, None
    while i < len(payload):
        tag = payload[i]
        i += 1
        if tag == 0x03:
            break
        if tag < 0x10:  # a group delimiter
            if job is not None:
                jobs.append(job)
            job = {} if tag == 0x02 else None
            continue
        nlen = struct.unpack(">H", payload[i:i + 2])[0]
        i += 2
        if nlen:
            name = payload[i:i + nlen].decode()
        i += nlen
        vlen = struct.unpack(">H", payload[i:i + 2])[0]
        i += 2
        value = payload[i:i + vlen]
        i += vlen
        if job is None or name in job:
            continue
        job[name] = struct.unpack(">i", value)[0] if tag in (0x21, 0x23) else value.decode()
    if job is not None:
        jobs.append(job)
    return jobs


if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else "/tmp/zentavo-cups"
    signal.pthread_sigmask(signal.SIG_BLOCK, [signal.SIGINT, signal.SIGTERM])  # for sigwait
    if os.path.isdir(folder):
        shutil.rmtree(folder)
    cups = TestCups(folder).start()
    print("CUPS_SERVER=%s  queue %s  device file %s" % (cups.socket, QUEUE, cups.device))
    print("Set [sitef] printer=%s in the INI and start the service with that CUPS_SERVER." % QUEUE)
    try:
        signal.sigwait([signal.SIGINT, signal.SIGTERM])
    finally:
        cups.stop()
