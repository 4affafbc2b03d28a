USE [GISData]
GO
/****** Object:  StoredProcedure [dbo].[sp_MSins_aractcus_base]    Script Date: 2021-07-10 1:50:50 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
create procedure [dbo].[sp_MSins_aractcus_base] @c1 binary(8),@c2 varchar(12),@c3 int

AS
BEGIN


insert into "aractcus_base"( 
"timestamp", "customer_code", "date_applied"
 )

values ( 
@c1, @c2, @c3
 )


END
GO
USE [GISData]
GO
/****** Object:  StoredProcedure [dbo].[sp_MSins_armaster_base]    Script Date: 2021-07-10 1:50:50 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
create procedure [dbo].[sp_MSins_armaster_base] @c1 binary(8),@c2 varchar(12),@c3 smallint

AS
BEGIN


insert into "armaster_base"( 
"timestamp", "customer_code", "address_type"
 )

values ( 
@c1, @c2, @c3
 )


END
GO
