"""The result upload reader against uploads scrambled here step by step, as a client does."""

import hashlib
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

from kvtestbed.result_code import auth_code, cookie_value, pick_key, read_result_upload  # noqa: E402

COOKIE = "Ab3Xy9Qw7Er5Ty1Ui8Op2As4"


def scramble(plain_text, cookie):
    """A client's body: UTF-16LE, upper-case hex, byte XOR the key cyclically, lower-case hex."""
    key = cookie[3::3]
    upper = plain_text.encode("utf-16-le").hex().upper()
    out = []
    for n in range(len(upper) // 2):
        byte = int(upper[2 * n:2 * n + 2], 16) ^ ord(key[n % len(key)])
        out.append("%x%x" % (byte >> 4, byte & 15))
    return ("code=" + "".join(out)).encode("ascii")


def query_for(ip, cookie, extra=""):
    letters = ip.replace(".", "A").replace("0", "K")
    for d in range(1, 10):
        letters = letters.replace(str(d), chr(ord("A") + d))
    digest = hashlib.md5(f"{letters}{len(ip)}{cookie}".encode()).hexdigest()
    return f"App_ver=0.93&User_localip={ip}&User_os=Debian 12 測試{extra}&auth_code={digest}"


class CookieAndKey(unittest.TestCase):
    def test_cookie_value_ignores_the_blanks_the_client_appends_and_other_cookies(self):
        self.assertEqual(cookie_value(f"KVSID={COOKIE}   "), COOKIE)
        self.assertEqual(cookie_value(f"other=1; KVSID={COOKIE} "), COOKIE)
        self.assertEqual(cookie_value("other=1"), "")
        self.assertEqual(cookie_value(None), "")

    def test_key_is_every_third_character_from_the_fourth(self):
        self.assertEqual(pick_key("abcdefghij"), "dgj")
        self.assertEqual(pick_key("abc"), "")

    def test_auth_code_input_for_10_0_0_1_is_the_documented_letters(self):
        self.assertEqual(auth_code("10.0.0.1", "ck"), hashlib.md5(b"BKAKAKAB8ck").hexdigest())
        self.assertIsNone(auth_code("fe80::1", "ck"))


class ResultUpload(unittest.TestCase):
    def test_a_well_formed_upload_is_read_and_checked(self):
        query = query_for("198.18.0.1", COOKIE, "&DL_FTP_speed_interval=1.00,2.50&Empty=&URL=a=b")
        upload = read_result_upload(scramble("Null=12349876&" + query, COOKIE), f"KVSID={COOKIE} ")
        self.assertEqual(upload.error, "")
        self.assertTrue(upload.prefix_ok)
        self.assertTrue(upload.auth_ok)
        self.assertEqual(upload.value("User_os"), "Debian 12 測試")
        self.assertEqual(upload.value("Empty"), "")
        self.assertEqual(upload.value("URL"), "a=b")
        self.assertEqual([k for k, _ in upload.fields][:2], ["App_ver", "User_localip"])

    def test_wrong_cookie_wrong_prefix_and_wrong_auth_code_are_flagged(self):
        good = query_for("10.0.0.1", COOKIE)
        other_cookie = "Zz9" + COOKIE[3:]  # same key, different value: descrambles, auth fails
        upload = read_result_upload(scramble("Null=1&" + good, other_cookie), f"KVSID={other_cookie}")
        self.assertTrue(upload.prefix_ok)
        self.assertFalse(upload.auth_ok)
        upload = read_result_upload(scramble("Nul=1&" + good, COOKIE), f"KVSID={COOKIE}")
        self.assertFalse(upload.prefix_ok)
        self.assertTrue(upload.auth_ok)

    def test_unreadable_bodies_are_reported_not_raised(self):
        for body, cookie in ((b"code=zz", COOKIE), (b"nothing", COOKIE), (b"code=4142", "ab"), (b"code=414", COOKIE)):
            upload = read_result_upload(body, f"KVSID={cookie}")
            self.assertNotEqual(upload.error, "", body)
            self.assertFalse(upload.auth_ok)


if __name__ == "__main__":
    unittest.main()
