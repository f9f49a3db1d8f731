-- Procedures for the tests and the benchmark: text in and out, numbers the
-- server converts, failures, nulls, large texts, a session that ends itself.
CREATE SCHEMA pk_test;
GRANT USAGE ON SCHEMA pk_test TO kup_utilisateur;

-- p_out takes p_in; p_inout comes back with '!' appended (null stays null).
CREATE PROCEDURE pk_test.echo(p_in text, INOUT p_inout text, OUT p_out text)
LANGUAGE plpgsql AS $$
BEGIN
  p_out := p_in;
  p_inout := p_inout || '!';
END
$$;

-- Both in values are numbers for the server: text is converted on the way in.
CREATE PROCEDURE pk_test.somme(p_a integer, p_b numeric, OUT p_somme numeric)
LANGUAGE plpgsql AS $$
BEGIN
  p_somme := p_a + p_b;
END
$$;

-- Fails with that SQLSTATE and message.
CREATE PROCEDURE pk_test.lever(p_code text, p_message text)
LANGUAGE plpgsql AS $$
BEGIN
  RAISE EXCEPTION USING ERRCODE = p_code, MESSAGE = p_message;
END
$$;

-- A null, an empty text and a length of p_in (null when p_in is null).
CREATE PROCEDURE pk_test.nuls(p_in text, OUT p_null text, OUT p_vide text, OUT p_longueur integer)
LANGUAGE plpgsql AS $$
BEGIN
  p_null := NULL;
  p_vide := '';
  p_longueur := length(p_in);
END
$$;

-- A text of p_taille characters, the last one a 'Z'.
CREATE PROCEDURE pk_test.grand(p_taille integer, OUT p_texte text)
LANGUAGE plpgsql AS $$
BEGIN
  p_texte := repeat('é', p_taille - 1) || 'Z';
END
$$;

-- The server process of the session.
CREATE PROCEDURE pk_test.session(OUT p_pid integer)
LANGUAGE plpgsql AS $$
BEGIN
  p_pid := pg_backend_pid();
END
$$;

-- The session ends while the call runs.
CREATE PROCEDURE pk_test.interrompre()
LANGUAGE plpgsql AS $$
BEGIN
  PERFORM pg_terminate_backend(pg_backend_pid());
  PERFORM pg_sleep(10);
END
$$;

REVOKE EXECUTE ON ALL PROCEDURES IN SCHEMA pk_test FROM PUBLIC;
GRANT EXECUTE ON ALL PROCEDURES IN SCHEMA pk_test TO kup_utilisateur;
