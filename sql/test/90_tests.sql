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

-- Slow calls: a call that sleeps; one that sleeps, writes its mark, commits,
-- then sleeps again (whether a mark exists tells whether the call ran).
CREATE TABLE pk_test.journal (marque text NOT NULL);
GRANT SELECT, INSERT ON pk_test.journal TO kup_utilisateur;

CREATE PROCEDURE pk_test.dormir(p_secondes numeric)
LANGUAGE plpgsql AS $$
BEGIN
  PERFORM pg_sleep(p_secondes);
END
$$;

CREATE PROCEDURE pk_test.ecrire(p_marque text, p_avant numeric, p_apres numeric)
LANGUAGE plpgsql AS $$
BEGIN
  PERFORM pg_sleep(p_avant);
  INSERT INTO pk_test.journal VALUES (p_marque);
  COMMIT;
  PERFORM pg_sleep(p_apres);
END
$$;

-- A transfer whose amount, after the out value, has a default: a call
-- missing a value still runs. Writes "from>to:amount", "-" for a null.
CREATE PROCEDURE pk_test.virement(p_de text, p_vers text, OUT p_r text, p_montant numeric DEFAULT 0)
LANGUAGE plpgsql AS $$ BEGIN
  INSERT INTO pk_test.journal VALUES (coalesce(p_de, '-') || '>' || coalesce(p_vers, '-') || ':' || p_montant);
END $$;

-- The session's time limit and client check, as the server holds them.
CREATE PROCEDURE pk_test.reglages(OUT p_delai text, OUT p_controle text)
LANGUAGE plpgsql AS $$
BEGIN
  p_delai := current_setting('statement_timeout');
  p_controle := current_setting('client_connection_check_interval');
END
$$;

-- Nothing in, nothing out.
CREATE PROCEDURE pk_test.rien()
LANGUAGE plpgsql AS $$
BEGIN
END
$$;

-- A schema the test user owns: procedures a test makes and changes while a
-- session lasts, as a site deploying a fix would.
CREATE SCHEMA pk_essai AUTHORIZATION kup_test;

REVOKE EXECUTE ON ALL PROCEDURES IN SCHEMA pk_test FROM PUBLIC;
GRANT EXECUTE ON ALL PROCEDURES IN SCHEMA pk_test TO kup_utilisateur;

-- The logon check of this cluster: the site's, then for kup_lent a wait on
-- an advisory lock (key 4242) that a test holds: a check held up by another
-- session.
ALTER PROCEDURE pk_connexion.verifier() RENAME TO verifier_site;
CREATE PROCEDURE pk_connexion.verifier()
LANGUAGE plpgsql SET search_path = pg_catalog AS $$
BEGIN
  CALL pk_connexion.verifier_site();
  IF session_user = 'kup_lent' THEN
    PERFORM pg_advisory_xact_lock_shared(4242);
  END IF;
END
$$;
GRANT EXECUTE ON PROCEDURE pk_connexion.verifier() TO PUBLIC;
