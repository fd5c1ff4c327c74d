"""The "/print" route and the print queue against a private CUPS scheduler."""

import base64
import glob
import json
import os
import random
import re
import shutil

import pytest

from conftest import wait_until
import testcups

pytestmark = pytest.mark.skipif(not testcups.available(), reason="cupsd is not installed")

LAYOUT = """<?xml version="1.0" encoding="UTF-8"?>
<receipt>
  <title size="double">LOJA EXEMPLO</title>
  <line>Pedido <bold>4821</bold></line>
  <row><left>Café</left><right>R$ 4,50</right></row>
  <hr/>
  <feed lines="2"/>
</receipt>
"""

PDF = (b"%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
       b"2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
       b"3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 204 300]>>endobj\n"
       b"trailer<</Root 1 0 R>>\n%%EOF\n")


def b64(data, width=None):
    text = base64.b64encode(data.encode() if isinstance(data, str) else data).decode()
    if width:  # broken into lines as mail and some encoders do
        text = "\r\n".join(text[i:i + width] for i in range(0, len(text), width))
    return text


def print_request(data, file_type="gdi", **extra):
    msg = {"route": "/print", "type": "print", "data": data, "file_type": file_type}
    msg.update(extra)
    return msg


@pytest.fixture(scope="module")
def cups():
    c = testcups.make().start()
    yield c
    c.remove()


@pytest.fixture
def printer_service(make_service, cups):
    """A service whose printer is the test queue, named in another case."""
    return make_service(ini_extra="printer=recibo\n", env_extra={"CUPS_SERVER": cups.socket})


def temp_files(svc):
    return glob.glob(os.path.join(svc.dir, "*_Temp.*"))


def queue_lines(svc):
    return [l[len("[Impressora] "):] for l in svc.log_lines() if l.startswith("[Impressora] ")]


def new_jobs(cups, before):
    return [j for j in cups.jobs() if j["job-id"] > before]


def last_job_id(cups):
    jobs = cups.jobs()
    return jobs[-1]["job-id"] if jobs else 0


def wait_jobs_done(svc, count, timeout=20):
    assert wait_until(lambda: sum(l.startswith("Impressão concluída: ") or l.startswith("Erro ao imprimir ")
                                  for l in queue_lines(svc)) >= count, timeout), "\n".join(svc.log_lines())


def test_failure_table(printer_service, make_service, cups):
    c = printer_service.connect()
    cases = [
        ({"route": "/print"}, "Campo type nao encontrado."),
        (print_request("QUJD", type="printer"), "Campo type diferente de print."),
        ({"route": "/print", "type": "print", "file_type": "gdi"}, "Campo data nao encontrado."),
        (print_request(" \t "), 'Campo "data" não foi preenchido.'),
        ({"route": "/print", "type": "print", "data": "QUJD"},
         "Erro ao imprimir: Campo file_type nao encontrado."),
        (print_request("QUJD", "PDF"), "Tipo do arquivo inválido. Valor permitido [pdf,gdi]"),
        (print_request("QUJD", "Gdi"), "Tipo do arquivo inválido. Valor permitido [pdf,gdi]"),
    ]
    for message, expected in cases:
        assert c.request(message) == {"type": "error", "message": expected}, message

    # Undecodable text: the bare failure (logged too), then the missing file.
    c.send(print_request("data:application/pdf;base64,@@@@"))
    assert c.recv_text() == "Erro na conversão do arquivo: Texto base64 inválido."
    assert c.recv() == {"type": "error", "message": "Arquivo convertido não localizado."}
    printer_service.wait_log("Erro na conversão do arquivo: Texto base64 inválido.")
    assert temp_files(printer_service) == []
    c.close()

    # No printer configured: both kinds are refused before anything is written.
    bare = make_service(env_extra={"CUPS_SERVER": cups.socket})
    c = bare.connect()
    for kind in ("pdf", "gdi"):
        assert c.request(print_request(b64(PDF), kind)) == \
            {"type": "error", "message": "Impressora não definida."}
    assert temp_files(bare) == []
    c.close()


def test_queued_layout_and_pdf_reach_the_printer(printer_service, cups):
    before = last_job_id(cups)
    c = printer_service.connect()
    # A data-URL header and CR LF line breaks are transport noise.
    c.send(print_request("data:text/xml;base64," + b64(LAYOUT, 76), "gdi"))
    c.nothing_within(1.0)  # a queued job gets no answer
    wait_jobs_done(printer_service, 1)
    printed = cups.device_bytes()
    c.send(print_request(b64(PDF), "pdf"))
    c.nothing_within(0.5)
    wait_jobs_done(printer_service, 2)
    c.close()

    assert printed.startswith(b"%PDF")  # the drawn receipt, as one PDF page
    assert cups.device_bytes() == PDF   # the document as sent
    jobs = new_jobs(cups, before)
    assert [(j["job-name"], j["document-format-supplied"], j["job-state"]) for j in jobs] == [
        ("Cupom Fiscal", "application/pdf", 9),
        (jobs[1]["job-name"], "application/pdf", 9),
    ]
    assert jobs[1]["job-name"].endswith("_Temp.pdf")
    lines = queue_lines(printer_service)
    gdi = next(l for l in lines if l.startswith("Arquivo adicionado na fila: "))[len("Arquivo adicionado na fila: "):]
    assert os.path.dirname(gdi) == printer_service.dir
    assert re.fullmatch(r"(0|[1-9][0-9]{0,6})_Temp\.gdi", os.path.basename(gdi)), gdi
    assert lines[lines.index("Arquivo adicionado na fila: " + gdi):][:5] == [
        "Arquivo adicionado na fila: " + gdi,
        "Iniciando impressão: " + gdi,
        'Iniciando impressao em "recibo"...',
        "Impresso com sucesso em: recibo",
        "Impressão concluída: " + gdi,
    ]
    assert "Thread de impressão iniciada" in lines
    assert temp_files(printer_service) == []


def test_failed_jobs_are_logged_and_their_files_removed(make_service, cups):
    before = last_job_id(cups)
    svc = make_service(ini_extra="printer=Inexistente\n", env_extra={"CUPS_SERVER": cups.socket})
    c = svc.connect()
    c.send(print_request(b64(LAYOUT)))
    wait_jobs_done(svc, 1)
    c.close()
    svc.wait_log('[Impressora] Erro ao imprimir %s' % svc.dir)
    assert any(l.endswith('Impressora nao encontrada: "Inexistente"') for l in queue_lines(svc))
    assert "Verifique se ela esta instalada e online." in svc.log_lines()

    good = make_service(ini_extra="printer=Recibo\n", env_extra={"CUPS_SERVER": cups.socket})
    c = good.connect()
    c.send(print_request(b64("<receipt><line>sem fim</receipt>")))
    c.send(print_request("data:text/xml;base64,"))  # decodes to nothing: an empty file, queued
    wait_jobs_done(good, 2)
    c.close()
    errors = [l for l in queue_lines(good) if l.startswith("Erro ao imprimir ")]
    assert len(errors) == 2 and all(" - Erro no XML (linha " in e for e in errors), errors
    assert temp_files(svc) == [] and temp_files(good) == []
    assert new_jobs(cups, before) == []  # a layout that fails prints nothing


def mapped_print_module(svc):
    with open("/proc/%d/maps" % svc.proc.pid) as f:
        return "libzentavo_print.so" in f.read()


def test_print_stack_is_loaded_at_the_first_job_and_a_missing_module_fails_that_job(
        printer_service, make_service, cups):
    c = printer_service.connect()
    c.send({"route": "/nope"})
    c.recv()
    assert not mapped_print_module(printer_service)  # idle: no print libraries
    c.send(print_request(b64(LAYOUT)))
    wait_jobs_done(printer_service, 1)
    c.close()
    assert mapped_print_module(printer_service)

    svc = make_service(ini_extra="printer=recibo\n", env_extra={"CUPS_SERVER": cups.socket},
                       prepare=lambda s: shutil.rmtree(os.path.join(s.dir, "lib")))
    c = svc.connect()
    c.send(print_request(b64(LAYOUT)))
    c.send(print_request(b64("%PDF-1.4"), file_type="pdf"))
    wait_jobs_done(svc, 2)
    c.send({"route": "/nope"})
    assert c.recv()["message"] == "Campo session_uuid nao encontrado."  # the service goes on
    c.close()
    errors = [l for l in queue_lines(svc) if l.startswith("Erro ao imprimir ")]
    assert len(errors) == 2, queue_lines(svc)
    assert all(" - Módulo de impressão não carregado: " in e for e in errors), errors
    assert temp_files(svc) == []


def test_jobs_queued_while_one_prints_come_out_in_order(printer_service, cups):
    before = last_job_id(cups)
    c = printer_service.connect()
    for _ in range(4):
        c.send(print_request(b64(PDF), "pdf"))
    wait_jobs_done(printer_service, 4, timeout=30)
    c.close()
    added = [os.path.basename(l[len("Arquivo adicionado na fila: "):])
             for l in queue_lines(printer_service) if l.startswith("Arquivo adicionado na fila: ")]
    assert [j["job-name"] for j in new_jobs(cups, before)] == added
    assert len(set(added)) == 4


def test_long_documents_print_the_same_read_in_place_or_copied(printer_service, cups):
    # A "data" text of 4096 characters or more without escapes is read where
    # the message lies; one with an escape ("\/", as some encoders write) is
    # copied. Either way, and at the edge, the printer gets the document sent.
    c = printer_service.connect()
    rnd = random.Random(7)
    noise = bytes(rnd.getrandbits(8) for _ in range(4096))
    cases = []
    for length, escaped in [(4095, False), (4096, False), (4096, True), (3 << 20, False),
                            (3 << 20, True)]:
        body = (noise * (length // len(noise) + 1))[:length // 4 * 3 - len(PDF) - 2]
        doc = PDF + b"%" + body + b"\n"
        data = b64(doc)
        data = " " * (length - len(data)) + data  # leading blanks are passed over
        assert len(data) == length and "/" in data
        text = json.dumps(print_request(data, "pdf"))
        c.send(text.replace("/", "\\/") if escaped else text)
        c.nothing_within(0.5)
        wait_jobs_done(printer_service, len(cases) + 1)
        cases.append((length, escaped, cups.device_bytes() == doc))
    c.close()
    assert all(same for _, _, same in cases), cases
