"""Drives our authorization server with requests-oauthlib, the way a Python
application would: the code grant with PKCE (a scripted browser signs in on the
page), a protected request with the token, a refresh, the client-credentials
grant, and the refusals a replayed code, a replayed refresh token and a wrong
secret must get. Prints one line per step."""
import re
import sys

import requests
from oauthlib.oauth2 import BackendApplicationClient, WebApplicationClient
from oauthlib.oauth2.rfc6749 import errors
from requests_oauthlib import OAuth2Session

base, ca, client_id, secret, redirect = sys.argv[1:6]
auth_url, token_url = base + "/zor/oauth2/auth", base + "/zor/oauth2/token"


def step(name, action):
    try:
        print(name + ": " + action(), flush=True)
    except errors.OAuth2Error as error:
        print(name + ": " + error.error, flush=True)


# The code grant, PKCE S256 by oauthlib's own helpers.
web = WebApplicationClient(client_id)
verifier = web.create_code_verifier(64)
challenge = web.create_code_challenge(verifier, "S256")
session = OAuth2Session(client=web, redirect_uri=redirect, scope=["read", "write"])
url, state = session.authorization_url(auth_url, code_challenge=challenge, code_challenge_method="S256")
page = requests.get(url, verify=ca)
request_id = re.search(r'name="id" value="([0-9a-f]{64})"', page.text).group(1)
signed_in = requests.post(auth_url, verify=ca, allow_redirects=False,
                          data={"request_type": "sign-in", "username": "alice", "password": "p&ss w", "id": request_id})
location = signed_in.headers["Location"]
print("redirect: " + ("state kept" if ("state=" + state) in location else location), flush=True)

token = session.fetch_token(token_url, authorization_response=location, client_secret=secret, verify=ca,
                            code_verifier=verifier)
print("code grant: " + token["token_type"] + " " + str(token["expires_in"]) + " " + " ".join(token["scope"]),
      flush=True)
print("resource: " + session.get(base + "/data", verify=ca).text, flush=True)
step("replayed code", lambda: str(session.fetch_token(token_url, authorization_response=location,
                                                      client_secret=secret, verify=ca, code_verifier=verifier)))

refreshed = session.refresh_token(token_url, client_id=client_id, client_secret=secret, verify=ca)
print("refresh: " + ("same token" if refreshed["access_token"] == token["access_token"] else "new token")
      + " " + str(refreshed["expires_in"]), flush=True)
print("refresh token: " + ("replaced" if refreshed["refresh_token"] != token["refresh_token"] else "kept"), flush=True)
step("replayed refresh token", lambda: str(session.refresh_token(
    token_url, refresh_token=token["refresh_token"], client_id=client_id, client_secret=secret, verify=ca)))

backend = OAuth2Session(client=BackendApplicationClient(client_id))
machine = backend.fetch_token(token_url, client_id=client_id, client_secret=secret, verify=ca)
print("client credentials: " + machine["token_type"] + " " + str(len(machine["access_token"])), flush=True)
step("wrong secret", lambda: str(OAuth2Session(client=BackendApplicationClient(client_id)).fetch_token(
    token_url, client_id=client_id, client_secret="wrong", verify=ca)))
print("done", flush=True)
