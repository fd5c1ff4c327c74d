#!/usr/bin/env python3
"""Drives a credit payment through the TEF library simulator with ctypes alone.

Usage: credit_payment.py [path/to/libclisitef.so] [amount]
       (default: build/app/dll/libclisitef.so, amount 12,50)

It configures the library, starts function 3 (credit), answers every command
until the final result, prints the result fields and confirms the transaction.
Set CLISITEF_SIM_JOURNAL=/tmp/journal.jsonl to see every call in the journal.
"""
import ctypes
import datetime
import sys

lib_path = sys.argv[1] if len(sys.argv) > 1 else "build/app/dll/libclisitef.so"
amount = sys.argv[2] if len(sys.argv) > 2 else "12,50"
lib = ctypes.CDLL(lib_path)

c_int, c_short, c_char_p = ctypes.c_int, ctypes.c_short, ctypes.c_char_p
lib.ConfiguraIntSiTefInterativoEx.argtypes = [c_char_p, c_char_p, c_char_p, c_short, c_char_p]
lib.IniciaFuncaoSiTefInterativo.argtypes = [c_int] + [c_char_p] * 6
lib.ContinuaFuncaoSiTefInterativo.argtypes = [
    ctypes.POINTER(c_int), ctypes.POINTER(c_int), ctypes.POINTER(c_short),
    ctypes.POINTER(c_short), ctypes.c_char_p, c_int, c_int]
lib.FinalizaFuncaoSiTefInterativo.argtypes = [c_int, c_char_p, c_char_p, c_char_p, c_char_p]
for f in (lib.ConfiguraIntSiTefInterativoEx, lib.IniciaFuncaoSiTefInterativo,
          lib.ContinuaFuncaoSiTefInterativo, lib.FinalizaFuncaoSiTefInterativo):
    f.restype = c_int

def enc(text):  # the library speaks Windows-1252
    return text.encode("cp1252")

rc = lib.ConfiguraIntSiTefInterativoEx(b"127.0.0.1", b"00000000", b"SE000001", 0,
                                       b"[];{ValorIncluiTaxa=0;};")
assert rc == 0, f"ConfiguraIntSiTefInterativoEx returned {rc}"

now = datetime.datetime.now()
document = str(now.hour * 3600 + now.minute * 60 + now.second)
date, time = now.strftime("%Y%m%d"), now.strftime("%H%M%S")
rc = lib.IniciaFuncaoSiTefInterativo(3, enc(amount), enc(document), enc(date), enc(time),
                                     b"CAIXA 1", b"[10];")
assert rc == 10000, f"IniciaFuncaoSiTefInterativo returned {rc}"

command, field, minimum, maximum = c_int(), c_int(), c_short(), c_short()
buffer = ctypes.create_string_buffer(20001)
continuation = 0
fields = {}
while True:
    rc = lib.ContinuaFuncaoSiTefInterativo(
        ctypes.byref(command), ctypes.byref(field), ctypes.byref(minimum),
        ctypes.byref(maximum), buffer, len(buffer), continuation)
    if rc != 10000:
        break
    text = buffer.value.decode("cp1252")
    answer, continuation = "", 0
    if command.value == 0:            # a result field
        fields[field.value] = text
    elif command.value in (1, 2, 3):  # messages ("@" is a line break)
        print("message:", text.replace("@", " / "))
    elif command.value == 21:         # menu: first option
        print("menu:", text)
        answer = text.split(";")[0].split(":")[0]
    elif command.value == 20:         # yes/no: "0" is yes
        print("question:", text.replace("@", " "))
        answer = "0"
    elif command.value == 30 and field.value == 505:
        answer = "03"                 # number of installments
    elif command.value == 22:         # key-press message: answered with 1
        print("key press:", text)
        continuation = 1
    # command 23 (interruption check): 0 goes on; other commands need no answer
    buffer.value = enc(answer)

print("final result:", rc)
for code in sorted(fields):
    print(f"field {code}: {fields[code]!r}")
if rc == 0:
    lib.FinalizaFuncaoSiTefInterativo(1, enc(document), enc(date), enc(time), b"")
    print("confirmed")
sys.exit(0 if rc == 0 else 1)
