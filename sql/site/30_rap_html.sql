-- The HTML report merge. The container binds, in this order: the template
-- (in-out), the identifier list, the result (in-out, bound as one blank) and
-- two status values it never reads. A site whose merge does more keeps this
-- signature; the body here replaces {LIST_IDENT} by the identifier list and
-- {UTILISATEUR} by the user of the session, both written as HTML text.
CREATE SCHEMA pk_rap_html;
GRANT USAGE ON SCHEMA pk_rap_html TO kup_utilisateur;

CREATE FUNCTION pk_rap_html.texte_html(t text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
  SELECT replace(replace(replace(replace(coalesce(t, ''), '&', '&amp;'), '<', '&lt;'), '>', '&gt;'), '"', '&quot;')
$$;

CREATE PROCEDURE pk_rap_html.fusionnerhtml(
  INOUT fic_html text,
  list_ident text,
  INOUT fic_res text,
  OUT coderr text,
  OUT liberr text)
LANGUAGE plpgsql AS $$
BEGIN
  IF fic_html IS NULL THEN
    fic_res := NULL;
    coderr := '1';
    liberr := 'Modèle HTML vide';
    RETURN;
  END IF;
  fic_res := replace(replace(fic_html,
               '{LIST_IDENT}', pk_rap_html.texte_html(list_ident)),
               '{UTILISATEUR}', pk_rap_html.texte_html(session_user));
  coderr := NULL;
  liberr := NULL;
END
$$;
REVOKE EXECUTE ON ALL PROCEDURES IN SCHEMA pk_rap_html FROM PUBLIC;
GRANT EXECUTE ON ALL PROCEDURES IN SCHEMA pk_rap_html TO kup_utilisateur;
GRANT EXECUTE ON ALL FUNCTIONS IN SCHEMA pk_rap_html TO kup_utilisateur;
