#!/usr/bin/env python3
"""Reads messages with Python's own MIME parser, independently of the engine under test: `part EML
INDEX` writes the decoded INDEX-th leaf body (1-based); `sent EML TO SUBJECT FROM TEXT ATTACHMENT` checks
a message built by send_message.vbs. Exits 1 with a one-line reason when a check fails."""
import email
import email.policy
import email.utils
import datetime
import os
import sys


def load(path):
    with open(path, 'rb') as f:
        return email.message_from_binary_file(f, policy=email.policy.compat32)


def leaves(msg):
    return [p for p in msg.walk() if not p.is_multipart()]


def fail(reason):
    print('mail_check: ' + reason, file=sys.stderr)
    sys.exit(1)


def part(path, index):
    bodies = leaves(load(path))
    if not 1 <= index <= len(bodies):
        fail('%s has %d leaf bodies, not %d' % (path, len(bodies), index))
    body = bodies[index - 1]
    data = body.get_payload(decode=True)
    if body.get('Content-Transfer-Encoding', '7bit').strip().lower() != 'base64':
        # The parser hands out line feeds; in the message, as in the saved file, lines end with
        # CR LF.
        data = data.replace(b'\r\n', b'\n').replace(b'\n', b'\r\n')
    sys.stdout.buffer.write(data)


def sent(path, to, subject, sender, text, attachment):
    msg = load(path)
    for field, want in (('To', to), ('Subject', subject)):
        if msg[field] != want:
            fail('%s is %r, expected %r' % (field, msg[field], want))
    if email.utils.parseaddr(msg['From']) != email.utils.parseaddr(sender):
        fail('From is %r, expected %r' % (msg['From'], sender))
    try:
        when = email.utils.parsedate_to_datetime(msg['Date'])
    except (TypeError, ValueError):
        fail('Date %r cannot be parsed' % msg['Date'])
    age = datetime.datetime.now(datetime.timezone.utc) - when
    if abs(age.total_seconds()) > 600:
        fail('Date %r is not the time of sending' % msg['Date'])
    if msg.get_content_type() != 'multipart/mixed':
        fail('content type is %s, expected multipart/mixed' % msg.get_content_type())
    bodies = leaves(msg)
    if len(bodies) != 2:
        fail('%d leaf bodies, expected the text and one attachment' % len(bodies))
    body, attached = bodies
    if body.get_content_type() != 'text/plain' or body.get_filename():
        fail('first part is %s %r, expected the text' % (body.get_content_type(), body.get_filename()))
    got_text = body.get_payload(decode=True).decode(body.get_content_charset() or 'ascii')
    if got_text.replace('\r\n', '\n').rstrip('\n') != text.replace('\r\n', '\n'):
        fail('text is %r, expected %r' % (got_text, text))
    if attached.get_filename() != os.path.basename(attachment):
        fail('attachment is named %r, expected %r' % (attached.get_filename(), os.path.basename(attachment)))
    with open(attachment, 'rb') as f:
        if attached.get_payload(decode=True) != f.read():
            fail('the attachment bytes differ from %s' % attachment)


if __name__ == '__main__':
    if len(sys.argv) == 4 and sys.argv[1] == 'part':
        part(sys.argv[2], int(sys.argv[3]))
    elif len(sys.argv) == 8 and sys.argv[1] == 'sent':
        sent(*sys.argv[2:])
    else:
        fail('usage: mail_check.py part EML INDEX | sent EML TO SUBJECT FROM TEXT ATTACHMENT')
