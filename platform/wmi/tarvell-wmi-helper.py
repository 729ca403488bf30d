#!/usr/bin/python3
"""WMI helper of the Tarvell service.

Speaks WMI over DCOM (NTLM) and NetBIOS node status through impacket for one linkup check.
Requests arrive one JSON object per line on standard input; each gets exactly one JSON answer
line on standard output: {"ok": true, ...} or {"ok": false, "error": "..."}. The service kills
this process when an answer is late, so no call here needs to be interruptible.

  --selftest   import the impacket modules this helper uses; exit 0 when they are there.
"""

import ipaddress
import json
import socket
import sys

MAX_REQUEST_BYTES = 64 * 1024
MAX_VALUES = 20000
MAX_VALUE_CHARS = 4096
S_FALSE_TEXT = "S_FALSE"


class Failure(Exception):
    pass


def selftest():
    from impacket.dcerpc.v5.dcomrt import DCOMConnection  # noqa: F401
    from impacket.dcerpc.v5.dcom import wmi  # noqa: F401
    from impacket.dcerpc.v5.dtypes import NULL  # noqa: F401
    from impacket import nmb  # noqa: F401
    print("impacket WMI and NetBIOS modules found")
    return 0


def text_of(value):
    if value is None:
        return None
    if isinstance(value, bool):
        text = "True" if value else "False"
    elif isinstance(value, bytes):
        text = value.decode("utf-8", "replace")
    elif isinstance(value, (list, tuple)):
        text = ",".join(t for t in (text_of(v) for v in value) if t is not None)
    else:
        text = str(value)
    return text[:MAX_VALUE_CHARS]


def address(text):
    try:
        return str(ipaddress.IPv4Address(text))
    except (ipaddress.AddressValueError, ValueError):
        raise Failure("not an IPv4 address")


def string_field(request, name, limit=4096):
    value = request.get(name, "")
    if not isinstance(value, str) or len(value) > limit or "\0" in value:
        raise Failure("bad field " + name)
    return value


def set_timeout(request):
    ms = request.get("timeoutMs", 30000)
    if not isinstance(ms, int) or isinstance(ms, bool) or ms <= 0:
        ms = 30000
    socket.setdefaulttimeout(max(1.0, min(ms, 600000) / 1000.0))
    return max(1, min(ms, 600000) // 1000)


def property_value(properties, name):
    for key in properties:
        if key.lower() == name.lower():
            entry = properties[key]
            return entry.get("value") if isinstance(entry, dict) else entry
    return None


class Session:
    def __init__(self):
        self.dcom = None
        self.services = None
        self.registry = None

    def close(self):
        for thing in (self.registry, self.services):
            try:
                if thing is not None:
                    thing.RemRelease()
            except Exception:
                pass
        if self.dcom is not None:
            try:
                self.dcom.disconnect()
            except Exception:
                pass
        self.dcom = self.services = self.registry = None

    def connect(self, request):
        from impacket.dcerpc.v5.dcomrt import DCOMConnection
        from impacket.dcerpc.v5.dcom import wmi
        from impacket.dcerpc.v5.dtypes import NULL

        self.close()
        ip = address(string_field(request, "ip", 64))
        namespace = string_field(request, "namespace", 256)
        if request.get("own", True):
            user = password = domain = ""
        else:
            user = string_field(request, "user", 256)
            password = string_field(request, "password", 512)
            domain = string_field(request, "domain", 256)
        set_timeout(request)
        try:
            self.dcom = DCOMConnection(ip, user, password, domain, "", "", oxidResolver=True)
            interface = self.dcom.CoCreateInstanceEx(wmi.CLSID_WbemLevel1Login, wmi.IID_IWbemLevel1Login)
            login = wmi.IWbemLevel1Login(interface)
            self.services = login.NTLMLogin("//./" + namespace.replace("\\", "/"), NULL, NULL)
            login.RemRelease()
        except Exception:
            self.close()
            raise
        return {}

    def need_services(self):
        if self.services is None:
            raise Failure("not connected")
        return self.services

    def query(self, request):
        wql = string_field(request, "wql")
        name = string_field(request, "property", 256)
        set_timeout(request)
        enumerator = self.need_services().ExecQuery(wql)
        values = []
        try:
            while len(values) < MAX_VALUES:
                try:
                    item = enumerator.Next(0xFFFFFFFF, 1)[0]
                except Exception as error:
                    if S_FALSE_TEXT in str(error):
                        break
                    raise
                value = text_of(property_value(item.getProperties(), name))
                if value is not None:
                    values.append(value)
        finally:
            try:
                enumerator.RemRelease()
            except Exception:
                pass
        return {"values": values}

    def provider(self):
        if self.registry is None:
            self.registry, _ = self.need_services().GetObject("StdRegProv")
        return self.registry

    @staticmethod
    def root_and_key(request):
        root = request.get("root")
        if not isinstance(root, int) or isinstance(root, bool) or not 0x80000000 <= root <= 0x80000006:
            raise Failure("bad registry root")
        return root, string_field(request, "key")

    @staticmethod
    def checked(out):
        code = getattr(out, "ReturnValue", None)
        if code != 0:
            raise Failure("registry provider answered %s" % code)
        return out

    def enumkey(self, request):
        root, key = self.root_and_key(request)
        set_timeout(request)
        out = self.checked(self.provider().EnumKey(root, key))
        names = getattr(out, "sNames", None) or []
        return {"names": [text_of(n) for n in names[:MAX_VALUES] if n is not None]}

    def getstring(self, request):
        root, key = self.root_and_key(request)
        value = string_field(request, "value")
        set_timeout(request)
        out = self.checked(self.provider().GetStringValue(root, key, value))
        text = text_of(getattr(out, "sValue", None))
        if text is None:
            raise Failure("no value")
        return {"value": text}

    def getdword(self, request):
        root, key = self.root_and_key(request)
        value = string_field(request, "value")
        set_timeout(request)
        out = self.checked(self.provider().GetDWORDValue(root, key, value))
        number = getattr(out, "uValue", None)
        if not isinstance(number, int) or not 0 <= number <= 0xFFFFFFFF:
            raise Failure("no value")
        return {"value": number}

    def domaincomputer(self, request):
        from impacket import nmb

        ip = address(string_field(request, "ip", 64))
        seconds = set_timeout(request)
        try:
            entries = nmb.NetBIOS().getnodestatus("*", ip, timeout=seconds)
        except Exception:
            return {"member": False}
        # A member of a domain or workgroup registers the domain's name as a group name.
        member = any((entry["NAME_FLAGS"] & nmb.NODE_GROUP) and entry["TYPE"] == nmb.TYPE_WORKSTATION
                     for entry in entries)
        return {"member": bool(member)}

    def disconnect(self, request):
        self.close()
        return {}


def answer(session, line):
    try:
        request = json.loads(line)
    except ValueError:
        return {"ok": False, "error": "not JSON"}
    if not isinstance(request, dict):
        return {"ok": False, "error": "not a JSON object"}
    operations = {
        "connect": session.connect, "disconnect": session.disconnect, "query": session.query,
        "enumkey": session.enumkey, "getstring": session.getstring, "getdword": session.getdword,
        "domaincomputer": session.domaincomputer,
    }
    operation = operations.get(request.get("op"))
    if operation is None:
        return {"ok": False, "error": "unknown op"}
    try:
        result = operation(request)
    except Failure as error:
        return {"ok": False, "error": str(error)}
    except Exception as error:  # the peer's or the library's failure: one answer, never a crash
        return {"ok": False, "error": (type(error).__name__ + ": " + str(error))[:MAX_VALUE_CHARS]}
    result["ok"] = True
    return result


def serve():
    session = Session()
    stdin = sys.stdin.buffer
    while True:
        line = stdin.readline(MAX_REQUEST_BYTES + 1)
        if not line:
            break
        if len(line) > MAX_REQUEST_BYTES:
            # The rest of the oversized line is read away so the next request starts cleanly.
            while line and not line.endswith(b"\n"):
                line = stdin.readline(MAX_REQUEST_BYTES)
            reply = {"ok": False, "error": "request too long"}
        else:
            reply = answer(session, line.decode("utf-8", "replace"))
        sys.stdout.write(json.dumps(reply, ensure_ascii=True) + "\n")
        sys.stdout.flush()
    session.close()
    return 0


def main(argv):
    if len(argv) > 1 and argv[1] == "--selftest":
        try:
            return selftest()
        except ImportError as error:
            print("impacket is missing: %s" % error, file=sys.stderr)
            return 1
    return serve()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
